// A change to a file as the user sees it in the terminal: the lines taken
// out ("-", red) and put in ("+", green) with their line numbers and a few
// lines around them, each cut to the terminal's width.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "common/printer.h"

namespace wendlebox {

// Changed lines shown of one file; the rest are counted.
inline constexpr std::size_t kShownChangedLines = 20;

// Shows how `after` differs from `before`; with no `before` (a new file)
// its first lines are shown as added. Nothing is shown when nothing changed.
void show_change(const Printer& out, std::optional<std::string_view> before, std::string_view after);

// At most this many changed lines are put to the user for approval, none
// longer than kLongestReviewedLine characters (a run of blanks counting as
// its marker); a longer change is not offered at all.
inline constexpr std::size_t kReviewedChangedLines = 400;
inline constexpr std::size_t kLongestReviewedLine = 2000;

// The same for a change the user is about to approve: every changed line is
// shown, whole, wrapped onto marked continuation rows, and a long run of
// blanks as a marker with its length, so nothing the user approves is out
// of sight. False, with a note saying so, when the change is too long to be
// read that way.
bool show_change_for_review(const Printer& out, std::optional<std::string_view> before, std::string_view after);

}  // namespace wendlebox
