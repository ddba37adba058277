#include "state/allowed.h"

#include <algorithm>
#include <fmt/format.h>
#include <iostream>

#include "common/files.h"
#include "common/json.h"
#include "common/text.h"
#include "i18n/i18n.h"
#include "state/settings.h"
#include "state/state_file.h"

namespace {

constexpr i18n::Text kAlreadyAllowed{"Already allowed:", "Já permitida:", "Ya permitida:"};
constexpr i18n::Text kAllowedAccess{"Allowed file access:", "Acesso a arquivos permitido:",
                                    "Acceso a archivos permitido:"};
constexpr i18n::Text kRemoved{"Removed from allow list:", "Removida da lista permitida:",
                              "Quitada de la lista permitida:"};
constexpr i18n::Text kNoneAllowed{
    "No extra folders allowed. The working folder is always available.",
    "Nenhuma pasta extra permitida. A pasta de trabalho está sempre disponível.",
    "No hay carpetas extra permitidas. La carpeta de trabajo siempre está disponible."};

std::filesystem::path allowed_path() { return app_dir() / "allowed-folders.json"; }

Result<AllowList> decode_allowed(std::string_view text) {
  return decode_object(text, [](const JsonFields& fields) -> Result<AllowList> {
    const Json* folders = fields.find("folders");
    if (folders == nullptr) return fields.error("missing field `folders`");
    if (!folders->is_array()) return fields.error("invalid type: expected a list for `folders`");
    AllowList list;
    for (const Json& folder : *folders) {
      if (!folder.is_string()) return fields.error("invalid type: expected a string in `folders`");
      list.folders.push_back(folder.get<std::string>());
    }
    return list;
  });
}

}  // namespace

Result<AllowList> load_allowed() {
  return load_state_file<AllowList>(allowed_path(), "Could not read allowed folders: ", decode_allowed);
}

Status save_allowed(const AllowList& list) {
  OrderedJson record;
  record["folders"] = list.folders;
  return write_file_whole(allowed_path(), pretty_json(record));
}

Result<std::filesystem::path> requested_folder(const std::string& text) {
  const std::filesystem::path path(text);
  if (path.is_absolute()) return path;
  auto cwd = current_dir();
  if (!cwd) return std::unexpected(cwd.error());
  return *cwd / path;
}

Status allow_add(const std::string& text) {
  auto requested = requested_folder(text);
  if (!requested) return std::unexpected(requested.error());
  auto canonical = canonical_path(*requested);
  if (!canonical) return failure("Folder is unavailable: " + canonical.error());
  if (!is_dir(*canonical)) return failure("Not a folder: " + lossy_utf8(canonical->native()));
  auto lock = lock_file(allowed_path());
  if (!lock) return std::unexpected(lock.error());
  auto list = load_allowed();
  if (!list) return std::unexpected(list.error());
  const std::string key = folder_key(*canonical);
  const bool known = std::ranges::any_of(list->folders, [&](const std::string& f) { return folder_key(f) == key; });
  if (known) {
    std::cout << fmt::format("{} {}\n", i18n::tr(kAlreadyAllowed), friendly_folder(*canonical));
    return {};
  }
  list->folders.push_back(lossy_utf8(canonical->native()));
  if (auto saved = save_allowed(*list); !saved) return saved;
  std::cout << fmt::format("{} {}\n", i18n::tr(kAllowedAccess), friendly_folder(*canonical));
  return {};
}

Status allow_remove(const std::string& text) {
  auto requested = requested_folder(text);
  if (!requested) return std::unexpected(requested.error());
  // A folder deleted since it was added can still be removed by its path.
  const std::filesystem::path folder = canonical_path(*requested).value_or(*requested);
  auto lock = lock_file(allowed_path());
  if (!lock) return std::unexpected(lock.error());
  auto list = load_allowed();
  if (!list) return std::unexpected(list.error());
  const std::string key = folder_key(folder);
  const std::size_t removed = std::erase_if(list->folders, [&](const std::string& f) { return folder_key(f) == key; });
  if (removed == 0) return failure("Folder is not on the allow list: " + text);
  if (auto saved = save_allowed(*list); !saved) return saved;
  std::cout << fmt::format("{} {}\n", i18n::tr(kRemoved), text);
  return {};
}

Status list_allowed() {
  auto list = load_allowed();
  if (!list) return std::unexpected(list.error());
  if (list->folders.empty()) std::cout << i18n::tr(kNoneAllowed) << '\n';
  for (const std::string& folder : list->folders) std::cout << friendly_folder(folder) << '\n';
  return {};
}
