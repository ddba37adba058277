#include "state/project_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include "common/folders.h"
#include "i18n/i18n.h"
#include "state/chatlog.h"

namespace {

constexpr i18n::Text kCannotWrite{
    "Wendlebox cannot work in {0}: {1} cannot be written ({2}). Give yourself write access (chmod u+w {1}), or start "
    "wendlebox in another folder.",
    "O Wendlebox não pode trabalhar em {0}: {1} não pode ser gravado ({2}). Dê a você permissão de escrita (chmod u+w "
    "{1}), ou inicie o wendlebox em outra pasta.",
    "Wendlebox no puede trabajar en {0}: no se puede escribir en {1} ({2}). Date permiso de escritura (chmod u+w {1}), "
    "o inicia wendlebox en otra carpeta."};
constexpr i18n::Text kReadOnlySystem{
    "Wendlebox cannot work in {0}: {1} cannot be written ({2}). Start wendlebox in a folder on a file system that can "
    "be written.",
    "O Wendlebox não pode trabalhar em {0}: {1} não pode ser gravado ({2}). Inicie o wendlebox em uma pasta de um "
    "sistema de arquivos gravável.",
    "Wendlebox no puede trabajar en {0}: no se puede escribir en {1} ({2}). Inicia wendlebox en una carpeta de un "
    "sistema de archivos con escritura."};

bool is_there(const std::filesystem::path& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

Status check_project_writable(const std::filesystem::path& folder, const std::optional<Chat>& chat) {
  std::vector<std::filesystem::path> needed{folder, folder / ".wendlebox", folder / ".wendlebox" / "chatlogs"};
  if (chat)
    if (auto log = chatlog_path(*chat)) needed.push_back(*log);
  for (const std::filesystem::path& path : needed) {
    if (path != folder && !is_there(path)) continue;
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0) continue;
    const int error = errno;
    return failure(fmt::format(fmt::runtime(i18n::tr(error == EROFS ? kReadOnlySystem : kCannotWrite)),
                               friendly_folder(folder), friendly_folder(path), os_error_text(error)));
  }
  return {};
}
