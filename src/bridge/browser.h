// Opening the user's browser on a chat address.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"

#include <vector>

#include "common/env.h"

// The first program found on PATH that can open a URL.
std::optional<std::string> browser_opener();

// How a session opens ChatGPT: the command the user chose (`saved`), else
// the first command of $BROWSER ("%s" stands for the address, which is
// otherwise added at the end), else the system's opener.
struct BrowserLaunch {
  std::vector<std::string> argv;
  std::string origin;  // "--browser", "BROWSER" or "opener"
};
std::optional<BrowserLaunch> browser_launch(const std::string& url, const std::optional<std::string>& saved,
                                            const EnvLookup& env = process_env);

Status open_browser(const std::string& url, const std::optional<std::string>& saved = std::nullopt);

// Whether the default browser is a snap, which cannot read the user's
// private folders (a page written there would not open in it).
bool default_browser_is_snap();
