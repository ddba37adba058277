#include "common/env.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "common/files.h"
#include "common/text.h"

namespace wendlebox {

std::optional<std::string> process_env(std::string_view name) {
  const char* value = std::getenv(std::string(name).c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::uint64_t unix_seconds() {
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since_epoch).count();
  return seconds < 0 ? 0 : static_cast<std::uint64_t>(seconds);
}

bool is_wsl() {
  if (process_env("WSL_INTEROP")) return true;
  auto release = read_file("/proc/sys/kernel/osrelease");
  return release && ascii_lower(*release).find("microsoft") != std::string::npos;
}


}  // namespace wendlebox
