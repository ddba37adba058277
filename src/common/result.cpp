#include "common/result.h"

#include <cstring>

std::string os_error_text(int error_number) {
  char buffer[256];
  // The GNU strerror_r returns the text, which may not live in buffer.
  const char* description = strerror_r(error_number, buffer, sizeof buffer);
  return description;
}
