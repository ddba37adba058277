// The small shell offered right after installation, where a user who
// double-clicked the installer can start wendlebox without knowing a shell.
#pragma once

#include <filesystem>

#include "common/printer.h"

namespace wendlebox {

// Runs `installed` with each line's words, in a folder that `cd` changes,
// until an empty line or an exit word; only on a terminal.
void setup_shell(const Printer& out, const std::filesystem::path& installed);

}  // namespace wendlebox
