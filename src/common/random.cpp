#include "common/random.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <vector>

namespace wendlebox {

namespace {

Status fill_from_urandom(unsigned char* bytes, std::size_t size) {
  const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return os_failure();
  std::size_t filled = 0;
  while (filled < size) {
    const ssize_t n = ::read(fd, bytes + filled, size - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      ::close(fd);
      return os_failure(error);
    }
    filled += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return {};
}

}  // namespace

Result<std::string> random_hex(std::size_t size) {
  std::vector<unsigned char> bytes(size);
  ssize_t got = -1;
  do got = ::getrandom(bytes.data(), size, 0);
  while (got < 0 && errno == EINTR);
  if (got != static_cast<ssize_t>(size))
    if (auto filled = fill_from_urandom(bytes.data(), size); !filled) return std::unexpected(filled.error());
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned char b : bytes) text += {kHex[b >> 4], kHex[b & 15]};
  return text;
}

}  // namespace wendlebox
