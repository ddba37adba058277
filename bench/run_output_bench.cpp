// A `run` action whose command prints 1 GB to standard output and 100 MB to
// standard error: how long it takes and the peak resident memory.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <sstream>

#include "actions/executor.h"

using namespace wendlebox;

int main() {
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  const std::vector<std::filesystem::path> roots{base};
  bool force_yes = false;
  std::vector<Attachment> pending;
  std::stringstream progress;
  const Printer printer(progress);
  ExecutionContext context{.base = base,
                           .roots = roots,
                           .allow_commands = true,
                           .force_yes = force_yes,
                           .pending = pending,
                           .out = printer};
  const auto start = std::chrono::steady_clock::now();
  auto result = execute(Action{.type = "run",
                               .command = "head -c 1000000000 /dev/zero | tr '\\0' x & "
                                          "head -c 100000000 /dev/zero | tr '\\0' y >&2; wait"},
                        context);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!result) {
    std::fprintf(stderr, "%s\n", result.error().message.c_str());
    return 1;
  }
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("run: 1 GB stdout + 100 MB stderr: %.2f s, exit %d, kept %zu + %zu bytes (start and end%s), peak RSS %.1f MB\n",
              seconds, (*result)["exit_code"].get<int>(), (*result)["stdout"].get<std::string>().size(),
              (*result)["stderr"].get<std::string>().size(), result->contains("truncated") ? ", truncated" : "",
              usage.ru_maxrss / 1024.0);
  return usage.ru_maxrss < 32 * 1024 ? 0 : 1;
}
