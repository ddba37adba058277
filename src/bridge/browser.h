// Opening the user's browser on a chat address.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"

// The first program found on PATH that can open a URL.
std::optional<std::string> browser_opener();

Status open_browser(const std::string& url);
