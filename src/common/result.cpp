#include "common/result.h"

#include <cstring>
#include <ostream>

namespace wendlebox {

std::string os_error_text(int error_number) {
  char buffer[256];
  // The GNU strerror_r returns the text, which may not live in buffer.
  const char* description = strerror_r(error_number, buffer, sizeof buffer);
  return description;
}

ErrorKind os_error_kind(int error_number) {
  switch (error_number) {
    case ENOENT: return ErrorKind::NotFound;
    case EEXIST: return ErrorKind::Exists;
    case EACCES:
    case EPERM: return ErrorKind::Permission;
    case EFBIG:
    case E2BIG: return ErrorKind::TooLarge;
    default: return ErrorKind::General;
  }
}

std::ostream& operator<<(std::ostream& out, const Error& error) { return out << error.message; }

}  // namespace wendlebox
