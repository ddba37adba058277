#include "state/project_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include "common/folders.h"
#include "i18n/i18n.h"
#include "state/chatlog.h"
#include "state/messages.h"

namespace wendlebox {

namespace {

using namespace messages::state;

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

}  // namespace wendlebox
