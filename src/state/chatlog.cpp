#include "state/chatlog.h"

#include <fmt/format.h>
#include <iostream>

#include "common/env.h"
#include "common/files.h"
#include "common/json.h"
#include "common/process.h"
#include "common/text.h"
#include "i18n/i18n.h"

namespace {

constexpr i18n::Text kNoLog{"No local log for this chat yet.", "Ainda não há log local para este chat.",
                            "Aún no hay registro local de este chat."};
constexpr i18n::Text kYou{"You", "Você", "Tú"};
constexpr i18n::Text kDone{"ChatGPT · done", "ChatGPT · concluído", "ChatGPT · hecho"};

bool is_loggable_id(std::string_view id) {
  if (id.empty() || id.size() > 64) return false;
  for (char c : id)
    if (!std::isxdigit(static_cast<unsigned char>(c)) && c != '-') return false;
  return true;
}

Result<ChatLogEntry> decode_entry(std::string_view line) {
  return decode_object(line, [](const JsonFields& fields) -> Result<ChatLogEntry> {
    ChatLogEntry entry;
    if (auto read = fields.read({{"at", &entry.at}, {"role", &entry.role}, {"text", &entry.text}}); !read)
      return std::unexpected(read.error());
    return entry;
  });
}

}  // namespace

Result<std::filesystem::path> chatlog_path(const Chat& chat) {
  // The id becomes a file name, so only hex digits and hyphens may pass.
  if (!is_loggable_id(chat.id)) return failure("Saved chat has an invalid ID.");
  return std::filesystem::path(chat.folder) / ".wendlebox" / "chatlogs" / (chat.id + ".jsonl");
}

Status append_chatlog(const Chat& chat, const std::string& role, const std::string& text) {
  auto path = chatlog_path(chat);
  if (!path) return std::unexpected(path.error());
  if (auto made = create_dirs(path->parent_path()); !made) return made;
  OrderedJson entry;
  entry["at"] = local_timestamp();
  entry["role"] = role;
  entry["text"] = text;
  return append_file(*path, compact_json(entry) + "\n");
}

Status show_chatlog(const std::string& reference) {
  auto chat = resolve_chat(reference);
  if (!chat) return std::unexpected(chat.error());
  auto path = chatlog_path(*chat);
  if (!path) return std::unexpected(path.error());
  auto text = read_file_if_exists(*path);
  if (!text) return failure("Could not read chat log: " + text.error());
  if (!*text) {
    std::cout << i18n::tr(kNoLog) << '\n';
    return {};
  }
  for (std::string_view line : split_lines(**text)) {
    auto entry = decode_entry(line);
    if (!entry) return failure("Could not read chat log: " + entry.error());
    const std::string_view label = i18n::tr(entry->role == "user" ? kYou : kDone);
    std::cout << fmt::format("[{}] {}\n{}\n\n", entry->at, label, entry->text);
  }
  return {};
}
