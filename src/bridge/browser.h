// Chat addresses and opening the user's browser on one.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"

inline constexpr std::string_view kChatOrigin = "https://chatgpt.com";
inline constexpr std::string_view kNewChatPage = "https://chatgpt.com/";

// The canonical conversation address for a conversation address or a bare
// conversation identifier; nullopt for anything else.
std::optional<std::string> chat_url(std::string_view text);

bool is_wsl();

// The first program found on PATH that can open a URL.
std::optional<std::string> browser_opener();

Status open_browser(const std::string& url);
