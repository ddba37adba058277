// Saved chats: a global list (newest first) and one list per project
// (oldest first), so a chat can be reopened by number, id or address.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/printer.h"
#include "common/result.h"

namespace wendlebox {

struct Chat {
  std::string id{};
  std::string title{};
  std::string url{};
  std::string folder{};
  std::uint64_t updated = 0;
  // The digest of the project instructions last sent in this chat (empty
  // when none were): a resumed chat hears them again only once they change.
  // Stored only when set, so lists without it read and look as before.
  std::string instructions{};
};

inline constexpr std::string_view kNewChatTitle = "New chat";

std::filesystem::path chats_path();
std::filesystem::path project_chats_path(const std::filesystem::path& folder);

// The lists as far as they can be read: a missing file reads as empty, and
// of a damaged one every chat that can be read is kept: the file is written
// again with them, the damaged one kept aside, which a notice says on
// `out.notices()` (so it never mixes into a listing).
std::vector<Chat> load_chats(const Printer& out);
Result<std::vector<Chat>> read_project_chats(const std::filesystem::path& folder, const Printer& out);

std::optional<Chat> latest_project_chat(const std::filesystem::path& folder, const std::vector<Chat>& chats);
// `id` is the chat's own random identifier, never the session token, which
// must not outlive the session in any file.
Chat new_chat(const std::string& id, const std::optional<std::string>& prompt,
              const std::filesystem::path& folder);
// Records `url` in the chat and stores it in both lists. A list that could
// not be read whole is first kept aside (`<list>.damaged-<time>`), which a
// notice on `out.notices()` says.
Status save_chat(Chat& chat, const std::string& url, const std::filesystem::path& folder, const Printer& out);

// The first 60 characters of a prompt, as chat titles use.
std::string chat_title(std::string_view prompt);

inline constexpr std::string_view kChatOrigin = "https://chatgpt.com";
inline constexpr std::string_view kNewChatPage = "https://chatgpt.com/";

// The canonical conversation address for a conversation address or a bare
// conversation identifier; nullopt for anything else.
std::optional<std::string> chat_url(std::string_view text);

// Every chat of a list file's text that can be read, however damaged the rest is.
std::vector<Chat> readable_chats(std::string_view text);

// The conversation address of the chat a ChatGPT page at `address` shows,
// by the shapes of extension/chat_addresses.json: its own, or, for a chat
// inside a Project (origin/g/<project>/c/<id>), the conversation address,
// which the program opens to resume it. nullopt for any other page and for
// a visitor's /uc/ chat, which the table marks as not kept (it cannot be
// opened again).
std::optional<std::string> page_chat_url(std::string_view address);

// A chat list file's text as records, every one of them or a failure.
Result<std::vector<Chat>> decode_chats(std::string_view text);

}  // namespace wendlebox
