// The application directory and the user's three standing choices.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "common/env.h"
#include "common/result.h"

// <XDG_CONFIG_HOME or HOME/.config or ./.config>/wendlebox; not checked.
std::filesystem::path app_dir(const EnvLookup& env = process_env);

// <XDG_DATA_HOME or HOME/.local/share or ./.local/share>/wendlebox: files
// the program installs (the browser extension), not the user's choices.
std::filesystem::path data_dir(const EnvLookup& env = process_env);

struct Settings {
  bool allow_commands = true;
  bool sounds = true;
  bool git = true;
};

Result<Settings> load_settings();
Status save_settings(const Settings& settings);

// Loads, changes and saves the settings under the file's lock.
Status update_settings(const std::function<void(Settings&)>& change);

// The settings file's text as a record (what load_settings reads).
Result<Settings> decode_settings(std::string_view text);

// The extension version a browser last reported, kept between sessions.
std::optional<std::string> last_seen_extension_version();
Status remember_extension_version(const std::string& version);
