#include "common/result.h"

#include <cstring>
#include <fmt/format.h>

std::string os_error_text(int error_number) {
  char buffer[256];
  // The GNU strerror_r returns the text, which may not live in buffer.
  const char* description = strerror_r(error_number, buffer, sizeof buffer);
  return fmt::format("{} (os error {})", description, error_number);
}
