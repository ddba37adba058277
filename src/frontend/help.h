// The usage text printed by --help.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/printer.h"

namespace wendlebox {

// The title line and the usage lines, without the final newline.
std::string help_text();
// `text` with each line longer than `columns` wrapped between words; the
// descriptions of usage rows stay in their column when there is room.
std::string wrap_help(std::string_view text, std::size_t columns);
void print_help(const Printer& out);

}  // namespace wendlebox
