// The one way this program starts other programs: an argument vector,
// never a shell (the `run` action asks for `sh -c` explicitly).
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/result.h"
#include "process/keepers.h"
#include "process/process_spec.h"

namespace wendlebox {

struct ProcessResult {
  pid_t pid = 0;
  // With keep_descendants: what the command left running, ended when this
  // is, or by whoever takes it over.
  Keepers keeper;
  ExitStatus status;
  std::string output;
  std::string errors;
};

// Starts the program, drains both captured streams at once and waits.
// Fails only when the program cannot be started.
Result<ProcessResult> run_process(const ProcessSpec& command);

// Starts the program without waiting; captured streams count as discarded.
Result<pid_t> start_process(const ProcessSpec& command);

Result<ExitStatus> wait_process(pid_t pid);

// nullopt while the process still runs.
Result<std::optional<ExitStatus>> try_wait_process(pid_t pid);

}  // namespace wendlebox
