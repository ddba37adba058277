#include "session/wait.h"

#include <unistd.h>

#include <iostream>

#include <fmt/format.h>

#include "i18n/i18n.h"
#include "line_editor/line_editor.h"
#include "session/messages.h"

namespace wendlebox {

namespace {

using namespace messages::session;

std::unexpected<Stopped> stopped(StopReason reason, std::string message = {}) {
  return std::unexpected(Stopped{reason, message.empty() ? std::string(stop_message(reason)) : std::move(message)});
}

}  // namespace

Result<JobResult, Stopped> wait_for_result(JobExchange& exchange, const WaitHelp& help,
                                                      const WaitTimings& timings, const std::atomic<bool>* interrupt,
                                                      const Printer& out) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point started = Clock::now();
  const Clock::time_point deadline = started + timings.connect_deadline;
  Clock::time_point last_notice = Clock::now();
  bool announced = false;
  bool hinted = false;  // the connect deadline passed and what helps was said
  // On a terminal, one line counts the seconds, until the extension takes
  // the job and then until ChatGPT's answer is in; it is wiped before
  // anything else is printed. A dumb terminal cannot rewrite a line.
  const bool status_line = out.redraws_lines();
  Clock::time_point connected_at = started;
  bool status_shown = false;
  std::string shown_count;
  const auto clear_status = [&] {
    if (status_shown) out << "\r\x1b[K" << std::flush;
    status_shown = false;
  };
  const auto says = [&](const i18n::Text& answer, const i18n::Text& report) {
    return i18n::tr(timings.probe ? report : answer);
  };
  JobExchange::Seen seen = exchange.wait(std::chrono::milliseconds(0));
  for (;;) {
    // Said before anything else: the wait may end with this very look.
    if (seen.pairing_mismatch) {
      clear_status();
      std::string what = std::string(i18n::tr(kPairingMismatch));
      if (!help.extension_folder.empty()) what += fmt::format("\n{} {}", i18n::tr(kSetupFolder), help.extension_folder);
      out << out.paint(Colour::warning, what) << std::endl;
    }
    if (seen.result) return clear_status(), *std::move(seen.result);
    if (seen.bridge_failed) return clear_status(), stopped(StopReason::BridgeFailed);
    if (interrupt && *interrupt) return clear_status(), stopped(StopReason::Interrupted);
    const Clock::time_point now = Clock::now();
    if (seen.connected && !announced) {
      clear_status();
      out << out.paint(Colour::reply, says(kWaiting, kWaitingForReport)) << std::endl;
      announced = true;
      connected_at = now;
    }
    if (!seen.connected && now >= deadline && !hinted) {
      clear_status();
      const std::string what = std::string(i18n::tr(kNotConnected)) + help.not_connected;
      if (!timings.patient) return stopped(StopReason::NotConnected, what);
      out << out.paint(Colour::warning, what) << '\n' << out.paint(Colour::warning, says(kStillWaitingForExtension, kStillWaitingForExtensionToProbe)) << std::endl;
      hinted = true;
    }
    if (announced && !status_line && now - last_notice >= timings.notice_interval) {
      out << out.paint(Colour::warning, says(kStillWaiting, kStillWaitingForReport)) << std::endl;
      last_notice = now;
    }
    auto wait = seen.connected || hinted ? timings.slice
                                         : std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::max(deadline - now, Clock::duration::zero()));
    if (status_line) {
      const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - (seen.connected ? connected_at : started));
      const std::string counted = seen.connected ? fmt::format(fmt::runtime(says(kAnswering, kReading)), seconds.count())
                                                 : fmt::format("{} ({} s)", says(kWaitingForExtension, kWaitingForExtensionToProbe), seconds.count());
      // Looked at ten times a second, drawn only when the count changes.
      // Kept to one row: a wrapped status line would leave rows behind that
      // "\r" does not return to.
      if (!status_shown || counted != shown_count)
        out << "\r" << out.paint(Colour::dim, line_editor::fit_to_columns(counted, out.columns())) << "\x1b[K" << std::flush;
      shown_count = counted;
      status_shown = true;
      wait = std::min<std::chrono::milliseconds>(wait, std::chrono::seconds(1));
    }
    // A signal cannot wake the exchange: look at the flag often.
    if (interrupt) wait = std::min<std::chrono::milliseconds>(wait, std::chrono::milliseconds(100));
    seen = exchange.wait(wait, seen.connected);
  }
}

Result<JobResult, Stopped> publish_and_wait_for_result(JobExchange& exchange, Job job,
                                                                  const WaitHelp& help,
                                                                  const WaitTimings& timings,
                                                                  const std::atomic<bool>* interrupt, const Printer& out) {
  WaitTimings waiting = timings;
  waiting.probe = job.probe;
  exchange.publish(std::move(job));
  auto result = wait_for_result(exchange, help, waiting, interrupt, out);
  if (!result && result.error().reason == StopReason::Interrupted) exchange.withdraw();
  return result;
}

}  // namespace wendlebox
