// Waiting for the extension's answer to the published job.
#pragma once

#include <atomic>
#include <chrono>
#include <expected>
#include <string>
#include <string_view>

#include "bridge/exchange.h"
#include "common/printer.h"

namespace wendlebox {

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

// What the notices of a wait add for this session.
struct WaitHelp {
  std::string not_connected{};     // ends the message when the extension did not connect
  std::string extension_folder{};  // where the extension to load is, when known
};

// Why a wait ended without a result, and what to tell the user.
struct Stopped {
  StopReason reason;
  std::string message;
};

// Waits until the published job's result is in and takes it, printing
// progress notices, or stops: when the extension never polls before the
// deadline (the message then ends with `help.not_connected`), when the
// bridge thread failed, or, with `interrupt` set, when the user stopped it.
// An extension that holds another pairing key is told of once, with what
// to do. Notices go to `out`; the seconds are counted on a status line only
// when that is the terminal.
Result<JobResult, Stopped> wait_for_result(JobExchange& exchange, const WaitHelp& help,
                                                  const WaitTimings& timings, const std::atomic<bool>* interrupt,
                                                  const Printer& out);

// Publishes `job` and waits for its result as above; a job the user stopped
// is withdrawn (polls see it no more, a late result counts as taken).
Result<JobResult, Stopped> publish_and_wait_for_result(JobExchange& exchange, Job job,
                                                                  const WaitHelp& help,
                                                                  const WaitTimings& timings,
                                                                  const std::atomic<bool>* interrupt, const Printer& out);

}  // namespace wendlebox
