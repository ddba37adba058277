// Where the program keeps what is the user's: the configuration folder
// (settings, the allow list, the chat list) and the data folder (what the
// program installs: the browser extension).
#pragma once

#include <filesystem>

#include "common/env.h"

namespace wendlebox {

// <XDG_CONFIG_HOME or HOME/.config or ./.config>/wendlebox; not checked.
std::filesystem::path app_dir(const EnvLookup& env = process_env);

// <XDG_DATA_HOME or HOME/.local/share or ./.local/share>/wendlebox: files
// the program installs (the browser extension), not the user's choices.
std::filesystem::path data_dir(const EnvLookup& env = process_env);

}  // namespace wendlebox
