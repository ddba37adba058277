// The user's three standing choices, and the extension version last seen.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "common/env.h"
#include "common/result.h"

namespace wendlebox {

struct Settings {
  bool allow_commands = true;
  bool sounds = true;
  bool git = true;
  // Whether a chat's first prompt carries the project's AGENTS.md (or the like).
  bool project_instructions = true;
  // The command that opens ChatGPT (`--browser`); none means $BROWSER, else
  // the system's opener.
  std::optional<std::string> browser{};
  // Each change to a file is shown and asked about before it is made
  // (`--review-edits`); saved only when on.
  bool review_edits = false;
  // How long a command may run when ChatGPT does not say (1 to 3,600).
  unsigned command_timeout_seconds = 600;
};

std::filesystem::path settings_path();
Result<Settings> load_settings();
Status save_settings(const Settings& settings);

// Loads, changes and saves the settings under the file's lock.
Status update_settings(const std::function<void(Settings&)>& change);

// The settings file's text as a record (what load_settings reads).
Result<Settings> decode_settings(std::string_view text);

// The extension version a browser last reported, kept between sessions.
std::optional<std::string> last_seen_extension_version();
Status remember_extension_version(const std::string& version);
// When a session last remembered the extension's version ("YYYY-MM-DD HH:MM", local time).
std::optional<std::string> extension_seen_time();
// The browser ("firefox", "chromium") the extension was last seen in.
std::optional<std::string> last_seen_extension_browser();
Status remember_extension_browser(const std::string& browser);

}  // namespace wendlebox
