// Opening the user's browser on a chat address.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"

// The first program found on PATH that can open a URL.
std::optional<std::string> browser_opener();

Status open_browser(const std::string& url);

// Whether the default browser is a snap, which cannot read the user's
// private folders (a page written there would not open in it).
bool default_browser_is_snap();
