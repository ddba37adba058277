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

constexpr i18n::Text kContinueWith{"Continue with: wendlebox [\"your prompt\"] <number, chat ID, or URL>",
                                   "Continue com: wendlebox [\"seu prompt\"] <número, ID do chat ou URL>",
                                   "Continúa con: wendlebox [\"tu prompt\"] <número, ID del chat o URL>"};
constexpr i18n::Text kShowingProject{
    "Showing this project's chats. Use wendlebox --chats-all for every project.",
    "Mostrando os chats deste projeto. Use wendlebox --chats-all para todos os projetos.",
    "Mostrando los chats de este proyecto. Usa wendlebox --chats-all para todos los proyectos."};
constexpr i18n::Text kNoChats{"No saved chats yet.", "Ainda não há chats salvos.", "Aún no hay chats guardados."};
constexpr i18n::Text kNoProjectChats{"No saved chats for this project yet.",
                                     "Ainda não há chats salvos para este projeto.",
                                     "Aún no hay chats guardados para este proyecto."};
constexpr i18n::Text kRunChatsAll{"Run wendlebox --chats-all to see chats from every project.",
                                  "Execute wendlebox --chats-all para ver os chats de todos os projetos.",
                                  "Ejecuta wendlebox --chats-all para ver los chats de todos los proyectos."};
constexpr i18n::Text kChatNotFound{
    "Chat not found. Run wendlebox --chats-all to see saved numbers, or pass a ChatGPT chat URL.",
    "Chat não encontrado. Execute wendlebox --chats-all para ver os números salvos, ou informe a URL de um chat do "
    "ChatGPT.",
    "Chat no encontrado. Ejecuta wendlebox --chats-all para ver los números guardados, o indica la URL de un chat de "
    "ChatGPT."};

Result<std::vector<Chat>> decode_chats(std::string_view text) {
  auto value = parse_json(text);
  if (!value) return std::unexpected(value.error());
  if (!value->is_array()) return failure(positioned_error("invalid type: expected a list of chats", text));
  std::vector<Chat> chats;
  for (const Json& item : *value) {
    auto fields = JsonFields::of(item, text);
    if (!fields) return std::unexpected(fields.error());
    Chat chat;
    if (auto read = fields->read({{"id", &chat.id}, {"title", &chat.title}, {"url", &chat.url},
                                  {"folder", &chat.folder}});
        !read)
      return std::unexpected(read.error());
    auto updated = fields->required_unsigned("updated");
    if (!updated) return std::unexpected(updated.error());
    chat.updated = *updated;
    chats.push_back(std::move(chat));
  }
  return chats;
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

std::filesystem::path chats_path() { return app_dir() / "chats.json"; }

std::filesystem::path project_chats_path(const std::filesystem::path& folder) {
  return folder / ".wendlebox" / "chats.json";
}

std::string chat_title(std::string_view prompt) { return std::string(first_chars(prompt, 60)); }

std::vector<Chat> load_chats() {
  auto text = read_file_if_exists(chats_path());
  if (!text || !*text) return {};
  return decode_chats(**text).value_or(std::vector<Chat>{});
}

Result<std::vector<Chat>> read_project_chats(const std::filesystem::path& folder) {
  const std::filesystem::path path = project_chats_path(folder);
  auto text = read_file_if_exists(path);
  if (!text) return failure(fmt::format("Could not read {}: {}", lossy_utf8(path.native()), text.error()));
  if (!*text) {
    // Chats saved before the project file existed are found in the global list.
    std::vector<Chat> chats = load_chats();
    const std::string key = folder_key(folder);
    std::erase_if(chats, [&](const Chat& chat) { return !is_project_chat(chat, key); });
    return chats;
  }
  auto chats = decode_chats(**text);
  if (!chats) return failure(fmt::format("Could not read {}: {}", lossy_utf8(path.native()), chats.error()));
  return chats;
}

std::optional<Chat> latest_project_chat(const std::filesystem::path& folder, const std::vector<Chat>& chats) {
  const std::string key = folder_key(folder);
  const Chat* latest = nullptr;
  for (const Chat& chat : chats)
    if (is_project_chat(chat, key) && (latest == nullptr || chat.updated >= latest->updated)) latest = &chat;
  if (latest == nullptr) return std::nullopt;
  return *latest;
}

Status list_chats(bool all) {
  std::string project_key;
  std::filesystem::path project;
  if (!all) {
    auto folder = current_folder();
    if (!folder) return std::unexpected(folder.error());
    project = *folder;
    project_key = folder_key(project);
  }
  const std::vector<Chat> chats = load_chats();
  std::size_t printed = 0;
  for (std::size_t i = 0; i < chats.size(); ++i) {
    const Chat& chat = chats[i];
    if (!all && folder_key(chat.folder) != project_key) continue;
    std::cout << fmt::format("{}  {}\n   {}\n   {}\n", color("36", std::to_string(i + 1)), chat.title,
                             friendly_folder(chat.folder), chat.url);
    ++printed;
  }
  if (printed > 0) {
    std::cout << fmt::format("\n{}\n", i18n::tr(kContinueWith));
    if (!all && printed < chats.size()) std::cout << i18n::tr(kShowingProject) << '\n';
  } else if (all) {
    std::cout << i18n::tr(kNoChats) << '\n';
  } else {
    std::cout << i18n::tr(kNoProjectChats) << '\n' << friendly_folder(project) << '\n';
    if (!chats.empty()) std::cout << i18n::tr(kRunChatsAll) << '\n';
  }
  return {};
}

Result<Chat> resolve_chat(const std::string& reference) {
  const std::vector<Chat> chats = load_chats();
  unsigned long long number = 0;
  if (parse_unsigned(reference, number) && number >= 1 && number <= chats.size()) return chats[number - 1];
  const std::optional<std::string> canonical = chat_url(reference);
  for (const Chat& chat : chats)
    if (chat.id == reference || chat.url == reference || (canonical && chat.url == *canonical)) return chat;
  if (canonical) {
    auto cwd = current_dir();
    if (!cwd) return std::unexpected(cwd.error());
    const std::string& url = *canonical;
    return Chat{.id = url.substr(url.rfind('/') + 1),
                .title = "Chat " + url.substr(url.size() - 8),
                .url = url,
                .folder = lossy_utf8(cwd->native()),
                .updated = unix_seconds()};
  }
  return failure(std::string(i18n::tr(kChatNotFound)));
}

Chat new_chat(const std::string& token, const std::optional<std::string>& prompt, const std::filesystem::path& folder) {
  return Chat{.id = token,
              .title = prompt ? chat_title(*prompt) : std::string(kNewChatTitle),
              .url = "",
              .folder = lossy_utf8(folder.native()),
              .updated = unix_seconds()};
}

Status save_chat(Chat& chat, const std::string& url, const std::filesystem::path& folder) {
  chat.url = url;
  chat.updated = unix_seconds();
  // Always the global list first, then the project's: one order, no deadlock.
  auto global_lock = lock_file(chats_path());
  if (!global_lock) return std::unexpected(global_lock.error());
  std::vector<Chat> global = load_chats();
  remove_same(global, chat);
  global.insert(global.begin(), chat);
  if (auto written = write_file_whole(chats_path(), encode_chats(global)); !written) return written;

  auto project_lock = lock_file(project_chats_path(folder));
  if (!project_lock) return std::unexpected(project_lock.error());
  auto project = read_project_chats(folder);
  if (!project) return std::unexpected(project.error());
  remove_same(*project, chat);
  project->push_back(chat);
  return write_file_whole(project_chats_path(folder), encode_chats(*project));
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
