// A change to a file as the user sees it in the terminal: the lines taken
// out ("-", red) and put in ("+", green) with their line numbers and a few
// lines around them, each cut to the terminal's width.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "common/printer.h"

// Changed lines shown of one file; the rest are counted.
inline constexpr std::size_t kShownChangedLines = 20;

// Shows how `after` differs from `before`; with no `before` (a new file)
// its first lines are shown as added. Nothing is shown when nothing changed.
void show_change(const Printer& out, std::optional<std::string_view> before, std::string_view after);
