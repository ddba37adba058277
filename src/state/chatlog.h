// The short local record of a chat: each prompt and each final answer,
// one JSON line per entry, inside the project folder.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "state/chats.h"

namespace wendlebox {

struct ChatLogEntry {
  std::string at;
  std::string role;  // "user", "done", or "interrupted" (the user stopped the prompt)
  std::string text;
};

Result<std::filesystem::path> chatlog_path(const Chat& chat);
Status append_chatlog(const Chat& chat, const std::string& role, const std::string& text);
// The log's text, one entry per line, or nullopt when the chat has none yet.
Result<std::optional<std::string>> read_chatlog(const Chat& chat);
// One line of a log; a failure names `file`, when given, and how to mend it.
Result<ChatLogEntry> decode_chatlog_line(std::string_view line, const std::filesystem::path& file = {});

}  // namespace wendlebox
