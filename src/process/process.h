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
#include "process/process_spec.h"

struct ProcessResult {
  pid_t pid = 0;
  pid_t keeper = 0;  // with keep_descendants: for end_kept, once the session is done with it
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

// Has each keeper end what its command left running (SIGTERM, then
// SIGKILL to what is left two seconds later) and waits for it; returns
// how many had something left. Only this program's own keepers are
// signalled, never a process or group id that may since name another.
std::size_t end_kept(const std::vector<pid_t>& keepers);
