#include "workspace/put_back.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace wendlebox {

namespace fs = std::filesystem;

Result<UniqueFd> open_holding_folder(const fs::path& path) {
  UniqueFd parent{::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
  if (!parent) return os_failure();
  return parent;
}

Status put_back_link(int dir, const std::string& name, const std::string& target) {
  if (::unlinkat(dir, name.c_str(), 0) != 0 && errno != ENOENT) return os_failure();
  if (::symlinkat(target.c_str(), dir, name.c_str()) != 0) return os_failure();
  return {};
}

Status put_back_file(int dir, const std::string& name, std::string_view content, mode_t mode) {
  return replace_at(dir, name, content, mode);
}

Status take_away_file(const fs::path& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return os_failure();
  return {};
}

Status put_back_folder(const fs::path& path, mode_t mode) {
  const bool made = ::mkdir(path.c_str(), mode) == 0 || errno == EEXIST;
  if (!made || ::chmod(path.c_str(), mode) != 0) return os_failure();
  return {};
}

bool take_away_empty_folder(const fs::path& path) { return ::rmdir(path.c_str()) == 0; }

bool move_back(const fs::path& made, const fs::path& was) {
  const int flags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  const UniqueFd from{::open(made.parent_path().c_str(), flags)}, to{::open(was.parent_path().c_str(), flags)};
  return from && to &&
         ::renameat2(from.get(), made.filename().c_str(), to.get(), was.filename().c_str(), RENAME_NOREPLACE) == 0;
}

}  // namespace wendlebox
