#include "common/files.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

// Reads to the end, or until `limit` bytes are in.
Result<std::string> read_all(int fd, std::size_t limit = SIZE_MAX) {
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
  const Fd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) {
    if (errno == ENOENT) return std::optional<std::string>();
    return os_failure();
  }
  auto content = read_all(file.fd);
  if (!content) return std::unexpected(content.error());
  return std::optional<std::string>(std::move(*content));
}

Result<std::string> read_file(const fs::path& path) { return read_file_prefix(path, SIZE_MAX); }

Result<std::string> read_file_prefix(const fs::path& path, std::size_t max_bytes) {
  const Fd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) return os_failure();
  return read_all(file.fd, max_bytes);
}

Status create_dirs(const fs::path& dir) {
  if (dir.empty()) return {};
  std::error_code error;
  fs::create_directories(dir, error);
  if (error) return os_failure(error.value());
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

Status write_file_whole(const fs::path& target, std::string_view content) {
  if (auto made = create_dirs(target.parent_path()); !made) return made;
  fs::path temporary = target;
  temporary.replace_extension("tmp");
  {
    const Fd file{::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)};
    if (file.fd < 0) return os_failure();
    if (auto written = write_all(file.fd, content); !written) return written;
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) return os_failure();
  return {};
}

Status append_file(const fs::path& path, std::string_view content) {
  const Fd file{::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666)};
  if (file.fd < 0) return os_failure();
  return write_all(file.fd, content);
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
