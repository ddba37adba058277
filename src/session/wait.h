// Waiting for the extension's answer to the published job.
#pragma once

#include <atomic>
#include <chrono>
#include <iostream>
#include <mutex>
#include <string_view>

#include "bridge/server.h"
#include "common/result.h"

struct WaitTimings {
  std::chrono::milliseconds connect_deadline{std::chrono::seconds(60)};  // before the first poll
  std::chrono::milliseconds slice{std::chrono::seconds(30)};             // once the job was taken
  std::chrono::milliseconds notice_interval{std::chrono::seconds(120)};  // "still waiting"
};

inline constexpr const char* kPoisonedLock = "poisoned lock: another task failed inside";
inline constexpr const char* kInterrupted = "interrupted by the user";

// With `lock` held on the shared bridge: waits until a result is stored and
// takes it, printing progress notices, or fails when the extension never
// polls before the deadline (the message then ends with
// `not_connected_help`) or the bridge thread failed.
// With `interrupt` set, the wait ends with kInterrupted. Notices go to
// `out`; the seconds are counted on a status line only when that is the
// terminal.
Result<BrowserResult> wait_for_result(SharedBridge& shared, std::unique_lock<std::mutex>& lock,
                                      std::string_view not_connected_help = {}, const WaitTimings& timings = {},
                                      const std::atomic<bool>* interrupt = nullptr, std::ostream& out = std::cout);
