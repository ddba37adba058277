#include "state/chats.h"

#include <algorithm>
#include <fmt/format.h>
#include <iostream>

#include "common/env.h"
#include "common/files.h"
#include "common/json.h"
#include "common/text.h"
#include "i18n/i18n.h"
#include "state/allowed.h"
#include "state/app_dirs.h"
#include "state/settings.h"

namespace {

bool is_conversation_id(std::string_view id) {
  if (id.size() != 36) return false;
  for (std::size_t i = 0; i < id.size(); ++i) {
    const char c = id[i];
    const bool hyphen_place = i == 8 || i == 13 || i == 18 || i == 23;
    if (hyphen_place ? c != '-' : !std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}


std::string encode_chats(const std::vector<Chat>& chats) {
  OrderedJson list = OrderedJson::array();
  for (const Chat& chat : chats) {
    OrderedJson record;
    record["id"] = chat.id;
    record["title"] = chat.title;
    record["url"] = chat.url;
    record["folder"] = chat.folder;
    record["updated"] = chat.updated;
    list.push_back(std::move(record));
  }
  return pretty_json(list);
}

bool is_project_chat(const Chat& chat, const std::string& key) {
  return folder_key(chat.folder) == key && chat_url(chat.url).has_value();
}

void remove_same(std::vector<Chat>& chats, const Chat& chat) {
  std::erase_if(chats, [&](const Chat& c) { return c.id == chat.id || c.url == chat.url; });
}

}  // namespace

namespace {

Result<Chat> decode_chat(const Json& item, std::string_view text) {
  auto fields = JsonFields::of(item, text);
  if (!fields) return std::unexpected(fields.error());
  Chat chat;
  if (auto read = fields->read({{"id", &chat.id}, {"title", &chat.title}, {"url", &chat.url}, {"folder", &chat.folder}});
      !read)
    return std::unexpected(read.error());
  auto updated = fields->required_unsigned("updated");
  if (!updated) return std::unexpected(updated.error());
  chat.updated = *updated;
  return chat;
}

// The chats of a list file that can be read; `damaged` when anything in it
// could not be, so that a save keeps the file aside instead of losing it.
struct ChatList {
  std::vector<Chat> chats;
  bool damaged = false;
};

ChatList readable_chats(std::string_view text) {
  if (trim(text).empty()) return {};
  auto value = parse_json(text);
  if (!value || !value->is_array()) return {{}, true};
  ChatList list;
  for (const Json& item : *value) {
    if (auto chat = decode_chat(item, text))
      list.chats.push_back(std::move(*chat));
    else
      list.damaged = true;
  }
  return list;
}

Result<std::optional<ChatList>> read_chat_list(const std::filesystem::path& path) {
  auto text = read_file_if_exists(path);
  if (!text) return failure(fmt::format("Could not read {}: {}", lossy_utf8(path.native()), text.error()));
  if (!*text) return std::optional<ChatList>();
  return readable_chats(**text);
}

// The project's list; chats saved before the project file existed are
// found in the global list.
Result<ChatList> project_chat_list(const std::filesystem::path& folder) {
  auto list = read_chat_list(project_chats_path(folder));
  if (!list) return std::unexpected(list.error());
  if (*list) return **list;
  std::vector<Chat> chats = load_chats();
  const std::string key = folder_key(folder);
  std::erase_if(chats, [&](const Chat& chat) { return !is_project_chat(chat, key); });
  return ChatList{std::move(chats)};
}

// A list that could not be read whole is moved aside before a save
// replaces it, and the user is told where it went.
Status keep_aside(const std::filesystem::path& path, const Printer& out) {
  const std::filesystem::path aside = path.native() + fmt::format(".damaged-{}", unix_seconds());
  std::error_code error;
  std::filesystem::rename(path, aside, error);
  if (error) return os_failure(error.value());
  out.line("33", fmt::format("{} could not be read whole: the chats it could read are kept, and the file "
                                 "itself is saved as {}.",
                                 lossy_utf8(path.native()), lossy_utf8(aside.native())));
  return {};
}

}  // namespace

Result<std::vector<Chat>> decode_chats(std::string_view text) {
  auto value = parse_json(text);
  if (!value) return std::unexpected(value.error());
  if (!value->is_array()) return failure(positioned_error("invalid type: expected a list of chats", text));
  std::vector<Chat> chats;
  for (const Json& item : *value) {
    auto chat = decode_chat(item, text);
    if (!chat) return std::unexpected(chat.error());
    chats.push_back(std::move(*chat));
  }
  return chats;
}

std::filesystem::path chats_path() { return app_dir() / "chats.json"; }

std::filesystem::path project_chats_path(const std::filesystem::path& folder) {
  return folder / ".wendlebox" / "chats.json";
}

std::string chat_title(std::string_view prompt) { return std::string(first_chars(prompt, 60)); }

std::vector<Chat> load_chats() {
  auto list = read_chat_list(chats_path());
  return list && *list ? (*list)->chats : std::vector<Chat>{};
}

Result<std::vector<Chat>> read_project_chats(const std::filesystem::path& folder) {
  auto list = project_chat_list(folder);
  if (!list) return std::unexpected(list.error());
  return list->chats;
}

std::optional<Chat> latest_project_chat(const std::filesystem::path& folder, const std::vector<Chat>& chats) {
  const std::string key = folder_key(folder);
  const Chat* latest = nullptr;
  for (const Chat& chat : chats)
    if (is_project_chat(chat, key) && (latest == nullptr || chat.updated >= latest->updated)) latest = &chat;
  if (latest == nullptr) return std::nullopt;
  return *latest;
}

Chat new_chat(const std::string& id, const std::optional<std::string>& prompt, const std::filesystem::path& folder) {
  return Chat{.id = id,
              .title = prompt ? chat_title(*prompt) : std::string(kNewChatTitle),
              .url = "",
              .folder = lossy_utf8(folder.native()),
              .updated = unix_seconds()};
}

Status save_chat(Chat& chat, const std::string& url, const std::filesystem::path& folder, const Printer& out) {
  chat.url = url;
  chat.updated = unix_seconds();
  // Always the global list first, then the project's: one order, no deadlock.
  auto global_lock = lock_file(chats_path());
  if (!global_lock) return std::unexpected(global_lock.error());
  auto global = read_chat_list(chats_path());
  if (!global) return std::unexpected(global.error());
  ChatList list = global->value_or(ChatList{});
  if (list.damaged)
    if (auto kept = keep_aside(chats_path(), out); !kept) return kept;
  remove_same(list.chats, chat);
  list.chats.insert(list.chats.begin(), chat);
  if (auto written = write_file_whole(chats_path(), encode_chats(list.chats)); !written) return written;

  auto project_lock = lock_file(project_chats_path(folder));
  if (!project_lock) return std::unexpected(project_lock.error());
  auto project = project_chat_list(folder);
  if (!project) return std::unexpected(project.error());
  if (project->damaged)
    if (auto kept = keep_aside(project_chats_path(folder), out); !kept) return kept;
  remove_same(project->chats, chat);
  project->chats.push_back(chat);
  return write_file_whole(project_chats_path(folder), encode_chats(project->chats));
}

std::optional<std::string> chat_url(std::string_view text) {
  const std::string prefix = std::string(kChatOrigin) + "/c/";
  std::string_view id = text;
  if (text.starts_with(prefix)) {
    id = text.substr(prefix.size());
    id = id.substr(0, id.find_first_of("#/?"));
  }
  if (!is_conversation_id(id)) return std::nullopt;
  return prefix + ascii_lower(id);
}
