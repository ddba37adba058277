// The application directory and the user's three standing choices.
#pragma once

#include <filesystem>
#include <functional>

#include "common/env.h"
#include "common/result.h"

// <XDG_CONFIG_HOME or HOME/.config or ./.config>/wendlebox; not checked.
std::filesystem::path app_dir(const EnvLookup& env = process_env);

struct Settings {
  bool allow_commands = true;
  bool sounds = true;
  bool git = true;
};

Result<Settings> load_settings();
Status save_settings(const Settings& settings);

// Loads, changes and saves the settings under the file's lock.
Status update_settings(const std::function<void(Settings&)>& change);
