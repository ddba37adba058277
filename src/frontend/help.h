// The usage text printed by --help.
#pragma once

#include <string>

// The title line and the usage lines, without the final newline.
std::string help_text();
void print_help();
