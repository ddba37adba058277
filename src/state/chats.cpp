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
#include "state/chat_addresses.h"
#include "state/settings.h"
#include "state/state_file.h"
#include "state/messages.h"

namespace wendlebox {

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
    if (!chat.instructions.empty()) record["instructions"] = chat.instructions;
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
  // A digest of the wrong shape only means the instructions are sent again:
  // it costs no chat.
  auto instructions = fields->optional_string("instructions");
  chat.instructions = instructions ? instructions->value_or("") : "";
  return chat;
}

// The chats of a list file that can be read; `damaged` when anything in it
// could not be, so that the file is kept aside before it is written again.
struct ChatList {
  std::vector<Chat> chats;
  bool damaged = false;
};

// Where the object that opens at `start` closes, strings minded; npos when
// it never does.
std::size_t object_end(std::string_view text, std::size_t start) {
  std::size_t depth = 0;
  bool in_string = false;
  for (std::size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') ++i;
      else if (c == '"') in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '{') {
      ++depth;
    } else if (c == '}' && --depth == 0) {
      return i;
    }
  }
  return std::string_view::npos;
}

// Of a list whose JSON is broken, every object in it that reads as a chat.
// Each start that leads nowhere costs a pass over the rest of the text, so
// there are only so many: a file of braces alone cannot hold the program up.
std::vector<Chat> recovered_chats(std::string_view text) {
  constexpr int kMaxFalseStarts = 256;
  std::vector<Chat> chats;
  int false_starts = 0;
  for (std::size_t start = text.find('{'); start != std::string_view::npos && false_starts < kMaxFalseStarts;
       start = text.find('{', start + 1)) {
    ++false_starts;  // until it proves to be a chat
    const std::size_t end = object_end(text, start);
    if (end == std::string_view::npos) continue;
    const std::string_view object = text.substr(start, end - start + 1);
    auto value = parse_json(object);
    if (!value) continue;
    if (auto chat = decode_chat(*value, object)) {
      chats.push_back(std::move(*chat));
      --false_starts;
      start = end;
    }
  }
  return chats;
}

ChatList chat_list_of(std::string_view text) {
  if (trim(text).empty()) return {};
  auto value = parse_json(text);
  if (!value || !value->is_array()) return {recovered_chats(text), true};
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
  if (!text) return failure(state_file_problem("Could not read", path, text.error()));
  if (!*text) return std::optional<ChatList>();
  return chat_list_of(**text);
}

// A list that could not be read whole is moved aside before it is written
// again, and the user is told where it went.
Result<std::filesystem::path> keep_aside(const std::filesystem::path& path) {
  std::filesystem::path aside = path;
  aside += fmt::format(".damaged-{}", unix_seconds());
  std::error_code error;
  std::filesystem::rename(path, aside, error);
  if (error) return os_failure(error.value());
  return aside;
}

using namespace messages::state;

void tell_kept_aside(const Printer& out, const std::filesystem::path& path, const std::filesystem::path& aside) {
  out.notices().line(Colour::warning, fmt::format(fmt::runtime(i18n::tr(kKeptAside)), lossy_utf8(path.native()),
                                                  lossy_utf8(aside.native())));
}

Status set_aside(const Printer& out, const std::filesystem::path& path) {
  auto aside = keep_aside(path);
  if (!aside) return std::unexpected(aside.error());
  tell_kept_aside(out, path, *aside);
  return {};
}

// A damaged list is written again at once with every chat it could read,
// the damaged file kept aside, so that whoever reads it first says so, and
// only once. Where that cannot be done (a folder that cannot be written),
// the readable chats still serve.
Result<std::optional<ChatList>> read_and_repair(const std::filesystem::path& path, const Printer& out) {
  auto list = read_chat_list(path);
  if (!list || !*list || !(*list)->damaged) return list;
  auto lock = lock_file(path);
  if (!lock) return list;
  list = read_chat_list(path);  // another program may have mended it meanwhile
  if (!list || !*list || !(*list)->damaged) return list;
  auto aside = keep_aside(path);
  if (!aside) return list;
  if (!write_file_whole(path, encode_chats((*list)->chats))) {
    std::error_code ignored;
    std::filesystem::rename(*aside, path, ignored);  // the damaged file stays where it was
    return list;
  }
  tell_kept_aside(out, path, *aside);
  (*list)->damaged = false;
  return list;
}

// The project's list; chats saved before the project file existed are
// found in the global list.
ChatList project_chats_or_global(std::optional<ChatList> listed, const std::filesystem::path& folder,
                                 std::vector<Chat> global) {
  if (listed) return std::move(*listed);
  const std::string key = folder_key(folder);
  std::erase_if(global, [&](const Chat& chat) { return !is_project_chat(chat, key); });
  return ChatList{std::move(global)};
}

std::unexpected<Error> cannot_write(const std::filesystem::path& path, const Error& error) {
  return failure(fmt::format("Could not write {}: {}", lossy_utf8(path.native()), error));
}

Status written_or_named(const std::filesystem::path& path, std::string_view text) {
  if (auto written = write_file_whole(path, text); !written) return cannot_write(path, written.error());
  return {};
}

}  // namespace

std::vector<Chat> readable_chats(std::string_view text) { return chat_list_of(text).chats; }

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

std::vector<Chat> load_chats(const Printer& out) {
  auto list = read_and_repair(chats_path(), out);
  return list && *list ? (*list)->chats : std::vector<Chat>{};
}

Result<std::vector<Chat>> read_project_chats(const std::filesystem::path& folder, const Printer& out) {
  auto listed = read_and_repair(project_chats_path(folder), out);
  if (!listed) return std::unexpected(listed.error());
  const bool has_file = listed->has_value();
  return project_chats_or_global(std::move(*listed), folder, has_file ? std::vector<Chat>{} : load_chats(out)).chats;
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
  if (!global_lock) return cannot_write(chats_path(), global_lock.error());
  auto global = read_chat_list(chats_path());
  if (!global) return std::unexpected(global.error());
  ChatList list = global->value_or(ChatList{});
  if (list.damaged)
    if (auto kept = set_aside(out, chats_path()); !kept) return kept;
  remove_same(list.chats, chat);
  list.chats.insert(list.chats.begin(), chat);
  if (auto written = written_or_named(chats_path(), encode_chats(list.chats)); !written) return written;

  auto project_lock = lock_file(project_chats_path(folder));
  if (!project_lock) return cannot_write(project_chats_path(folder), project_lock.error());
  // Read without mending: this save writes it again anyway, under the lock it holds.
  auto listed = read_chat_list(project_chats_path(folder));
  if (!listed) return std::unexpected(listed.error());
  auto project = project_chats_or_global(std::move(*listed), folder, list.chats);
  if (project.damaged)
    if (auto kept = set_aside(out, project_chats_path(folder)); !kept) return kept;
  remove_same(project.chats, chat);
  project.chats.push_back(chat);
  return written_or_named(project_chats_path(folder), encode_chats(project.chats));
}

static_assert(kChatAddressOrigin == kChatOrigin);

namespace {

// The id segment of a page's `path` if the path has the table's `shape`
// (segments after it may follow), where "{id}" and "{project}" stand for
// one segment each.
std::optional<std::string_view> id_in_shape(std::string_view path, std::string_view shape) {
  std::optional<std::string_view> id;
  while (!shape.empty()) {
    if (!path.starts_with('/') || !shape.starts_with('/')) return std::nullopt;
    path.remove_prefix(1);
    shape.remove_prefix(1);
    const std::string_view wanted = shape.substr(0, shape.find('/'));
    const std::string_view segment = path.substr(0, path.find('/'));
    shape.remove_prefix(wanted.size());
    path.remove_prefix(segment.size());
    if (segment.empty()) return std::nullopt;
    if (wanted == "{id}")
      id = segment;
    else if (wanted != "{project}" && wanted != segment)
      return std::nullopt;
  }
  return id;
}

}  // namespace

std::optional<std::string> page_chat_url(std::string_view address) {
  if (!address.starts_with(kChatAddressOrigin)) return std::nullopt;
  std::string_view path = address.substr(kChatAddressOrigin.size());
  path = path.substr(0, path.find_first_of("?#"));
  for (const ChatAddressShape& shape : kChatAddressShapes) {
    const std::optional<std::string_view> id = id_in_shape(path, shape.path);
    if (!id) continue;
    // A placeholder names no chat yet; a visitor's chat is not kept.
    if (!shape.kept || !is_conversation_id(*id)) return std::nullopt;
    std::string saved(kChatAddressSavedAs);
    saved.replace(saved.find("{id}"), 4, ascii_lower(*id));
    return std::string(kChatAddressOrigin) + saved;
  }
  return std::nullopt;
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

}  // namespace wendlebox
