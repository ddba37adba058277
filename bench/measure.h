// What every benchmark reports the same way: the median of its samples and
// the process's resident memory.
#pragma once

#include <algorithm>
#include <cstdio>
#include <vector>

namespace bench {

template <typename T>
T median(std::vector<T> values) {
  if (values.empty()) return T{};
  std::ranges::sort(values);
  return values[values.size() / 2];
}

// Resident memory in kilobytes, as the kernel counts it now.
inline long resident_kb() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return 0;
  char line[256];
  long kb = 0;
  while (std::fgets(line, sizeof line, status))
    if (std::sscanf(line, "VmRSS: %ld kB", &kb) == 1) break;
  std::fclose(status);
  return kb;
}

}  // namespace bench
