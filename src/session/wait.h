// Waiting for the extension's answer to the published job.
#pragma once

#include <atomic>
#include <chrono>
#include <expected>
#include <string>
#include <string_view>

#include "bridge/exchange.h"
#include "common/printer.h"

struct WaitTimings {
  std::chrono::milliseconds connect_deadline{std::chrono::seconds(60)};  // before the first poll
  std::chrono::milliseconds slice{std::chrono::seconds(30)};             // once the job was taken
  std::chrono::milliseconds notice_interval{std::chrono::seconds(120)};  // "still waiting"
  // Past the connect deadline, say what helps and go on waiting: a person at
  // a terminal can log in or load the extension, and stop it with Ctrl-C.
  bool patient = false;
  // The job asks the extension for a report of the page (--probe), not
  // ChatGPT for an answer: the notices say so.
  bool probe = false;
};

// Why a wait ended without a result, and what to tell the user.
struct Stopped {
  StopReason reason;
  std::string message;
};

// Waits until the published job's result is in and takes it, printing
// progress notices, or stops: when the extension never polls before the
// deadline (the message then ends with `not_connected_help`), when the
// bridge thread failed, or, with `interrupt` set, when the user stopped it.
// Notices go to `out`; the seconds are counted on a status line only when
// that is the terminal.
std::expected<BrowserResult, Stopped> wait_for_result(JobExchange& exchange, std::string_view not_connected_help = {},
                                                      const WaitTimings& timings = {},
                                                      const std::atomic<bool>* interrupt = nullptr,
                                                      const Printer& out = Printer::standard());

// Publishes `job` and waits for its result as above; a job the user stopped
// is withdrawn (polls see it no more, a late result counts as taken).
std::expected<BrowserResult, Stopped> publish_and_wait_for_result(JobExchange& exchange, Job job,
                                                                  std::string_view not_connected_help,
                                                                  const WaitTimings& timings,
                                                                  const std::atomic<bool>* interrupt, const Printer& out);
