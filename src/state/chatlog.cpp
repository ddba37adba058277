#include "state/chatlog.h"

#include <fmt/format.h>

#include "common/env.h"
#include "common/files.h"
#include "common/json.h"
#include "common/text.h"
#include "process/local_time.h"
#include "state/state_file.h"

namespace wendlebox {

namespace {

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
  // The failure names the file: the user has to find it to set it right.
  const auto named = [&](const Error& error) { return failure(lossy_utf8(path->native()) + ": " + error.message); };
  if (auto made = create_dirs(path->parent_path(), kPrivateFolder); !made) return named(made.error());
  OrderedJson entry;
  entry["at"] = local_timestamp();
  entry["role"] = role;
  entry["text"] = text;
  if (auto appended = append_file(*path, compact_json(entry) + "\n", kPrivateFile); !appended)
    return named(appended.error());
  return {};
}

Result<std::optional<std::string>> read_chatlog(const Chat& chat) {
  auto path = chatlog_path(chat);
  if (!path) return std::unexpected(path.error());
  auto text = read_file_if_exists(*path);
  if (!text) return failure(state_file_problem("Could not read chat log", *path, text.error()));
  return text;
}

Result<ChatLogEntry> decode_chatlog_line(std::string_view line, const std::filesystem::path& file) {
  auto entry = decode_entry(line);
  if (!entry && !file.empty()) return failure(state_file_problem("Could not read chat log", file, entry.error()));
  if (!entry) return failure("Could not read chat log: " + entry.error().message);
  return entry;
}

}  // namespace wendlebox
