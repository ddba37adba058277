#include "common/files.h"

#include "common/random.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <thread>

#include <fmt/format.h>

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

// Reads to the end, or until `limit` bytes are in.
Result<std::string> read_all(int fd, std::size_t limit) {
  std::string content;
  char buffer[65536];
  while (content.size() < limit) {
    const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, limit - content.size()));
    if (n < 0) {
      if (errno == EINTR) continue;
      return os_failure();
    }
    if (n == 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
  }
  return content;
}

}  // namespace

Result<std::optional<std::string>> read_file_if_exists(const fs::path& path) {
  const UniqueFd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (!file) {
    if (errno == ENOENT) return std::optional<std::string>();
    return os_failure();
  }
  auto content = read_all(file.get(), SIZE_MAX);
  if (!content) return std::unexpected(content.error());
  return std::optional<std::string>(std::move(*content));
}

Result<std::string> read_file(const fs::path& path) { return read_file_prefix(path, SIZE_MAX); }

Result<std::string> read_file_prefix(const fs::path& path, std::size_t max_bytes) {
  const UniqueFd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (!file) return os_failure();
  return read_all(file.get(), max_bytes);
}

Status create_dirs(const fs::path& dir, mode_t mode) {
  if (dir.empty() || is_dir(dir)) return {};
  if (dir.has_parent_path() && dir.parent_path() != dir)
    if (auto parent = create_dirs(dir.parent_path(), mode); !parent) return parent;
  if (::mkdir(dir.c_str(), mode) != 0 && errno != EEXIST) return os_failure();
  return {};
}

Status write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return os_failure();
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return {};
}

namespace {

// A name no other writer picks: the target's, hidden, with random bytes.
Result<std::string> temporary_name(const std::string& name) {
  auto suffix = random_hex(6);
  if (!suffix) return std::unexpected(suffix.error());
  return "." + name + "." + *suffix + ".tmp";
}

}  // namespace

Status replace_at(int dir, const std::string& name, std::string_view content, std::optional<mode_t> mode,
                  const std::function<Status()>& before_rename) {
  return replace_at_with(dir, name, [&](int fd) { return write_all(fd, content); }, mode, before_rename);
}

Status replace_at_with(int dir, const std::string& name, const std::function<Status(int fd)>& fill,
                       std::optional<mode_t> mode, const std::function<Status()>& before_rename) {
  auto temporary = temporary_name(name);
  if (!temporary) return std::unexpected(temporary.error());
  // Created with its final mode, so a private file is never readable by
  // others, not even while it is written.
  UniqueFd file{::openat(dir, temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode.value_or(0666))};
  if (!file) return os_failure();
  Status written = fill(file.get());
  if (written && mode && ::fchmod(file.get(), *mode) != 0) written = os_failure();
  if (written && ::fsync(file.get()) != 0) written = os_failure();
  file.reset();
  if (written && before_rename) written = before_rename();
  if (written && ::renameat(dir, temporary->c_str(), dir, name.c_str()) != 0) written = os_failure();
  if (!written) ::unlinkat(dir, temporary->c_str(), 0);
  return written;
}

Status write_file_whole(const fs::path& target, std::string_view content) {
  if (auto made = create_dirs(target.parent_path(), kPrivateFolder); !made) return made;
  const fs::path parent = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const UniqueFd dir{::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (!dir) return os_failure();
  if (auto replaced = replace_at(dir.get(), target.filename().string(), content, kPrivateFile); !replaced)
    return replaced;
  ::fsync(dir.get());  // best effort: some file systems refuse to sync a folder
  return {};
}

Result<UniqueFd> lock_file(const fs::path& target, std::chrono::milliseconds wait) {
  if (auto made = create_dirs(target.parent_path(), kPrivateFolder); !made) return std::unexpected(made.error());
  fs::path lock_path = target;
  lock_path += ".lock";
  UniqueFd lock{::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)};
  if (!lock) return os_failure();
  // Tried again at short steps rather than blocked on: a holder that never
  // lets go must not hang this program with it.
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return os_failure();
    if (std::chrono::steady_clock::now() >= deadline)
      return failure(fmt::format("Another program has held {} for over {:g} seconds; end the other Wendlebox session "
                                 "if it is stuck, then try again",
                                 lock_path.string(), std::chrono::duration<double>(wait).count()));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return lock;
}

void UniqueFd::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

Result<std::string> read_fd(int fd, std::size_t max_bytes) { return read_all(fd, max_bytes); }

Status append_file(const fs::path& path, std::string_view content, mode_t mode) {
  const UniqueFd file{::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, mode)};
  if (!file) return os_failure();
  return write_all(file.get(), content);
}

Result<fs::path> canonical_path(const fs::path& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return os_failure();
  return fs::path(resolved);
}

Result<fs::path> current_dir() {
  char buffer[PATH_MAX];
  if (::getcwd(buffer, sizeof buffer) == nullptr) return os_failure();
  return fs::path(buffer);
}

bool is_dir(const fs::path& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace wendlebox
