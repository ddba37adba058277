// The small shell offered right after installation, where a user who
// double-clicked the installer can start wendlebox without knowing a shell.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Runs `installed` with each line's words, in a folder that `cd` changes,
// until an empty line or an exit word; only on a terminal.
void setup_shell(const std::filesystem::path& installed);

// Words of a shell line: blanks separate, single or double quotes group,
// no escapes.
std::vector<std::string> split_shell_words(std::string_view line);
