// The hand-off of jobs between the session, which publishes a job and waits
// for its result, and the bridge, which offers the job to the extension's
// polls and takes the result back. One job at a time. The one lock that the
// two threads share lives here, and nowhere else.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/attachment.h"
#include "common/files.h"

namespace wendlebox {

struct Job {
  std::string prompt;
  std::vector<Attachment> attachments;
  std::uint64_t id = 0;
  // The extension reports what it finds on ChatGPT's page instead of
  // sending a prompt (`wendlebox --probe`).
  bool probe = false;
};

struct JobResult {
  std::uint64_t id = 0;
  std::optional<std::string> text{};
  std::optional<std::string> url{};
  std::optional<std::string> error{};
};

// Why a wait for the browser ended without a result.
enum class StopReason {
  Interrupted,   // the user pressed Ctrl-C
  BridgeFailed,  // the bridge thread failed while it changed the state
  NotConnected,  // no poll reached the job in time
};

// The message a stop reason gives; a session that did not connect adds
// what helps.
std::string_view stop_message(StopReason reason);

class JobExchange {
 public:
  JobExchange();
  JobExchange(const JobExchange&) = delete;
  JobExchange& operator=(const JobExchange&) = delete;

  // ---- The session's side ----

  // Offers `job` to the extension; an earlier result is dropped, and the
  // extension counts as connected again only once a poll has seen it.
  void publish(Job job);

  // What a wait saw: the job's result (taken, so the job is done with and
  // a repeat of the result counts as a duplicate), or how far it got.
  struct Seen {
    std::optional<JobResult> result{};
    bool connected = false;      // a poll has reached the published job
    bool bridge_failed = false;  // the state can no longer be trusted
    // An extension holding another pairing key asked for the job; true in
    // one wait of the session only, however often it asks.
    bool pairing_mismatch = false;
  };

  // Waits at most `limit` for the published job's result; returns early
  // when the bridge failed or, unless the caller `knows_connected`
  // already, when a poll has reached the job.
  Seen wait(std::chrono::milliseconds limit, bool knows_connected = false);

  // The user stopped the prompt: polls see no job any more, and a late
  // result for it counts as a duplicate.
  void withdraw();

  // The extension's version, and the browser it runs in, as its last poll
  // gave them.
  std::optional<std::string> extension_version() const;
  std::optional<std::string> extension_browser() const;

  // ---- The bridge's side ----

  // A poll: the job to offer, if one is published and its result is not
  // in yet. Marks the extension connected.
  std::optional<Job> poll(const std::optional<std::string>& extension_version,
                          const std::optional<std::string>& extension_browser = std::nullopt);

  enum class Delivery {
    Accepted,   // the result of the published job (a repeat replaces it)
    Duplicate,  // the result of the job just collected or withdrawn
    Stale,      // the result of some older job
  };
  Delivery deliver(JobResult result);

  // An extension that holds another pairing key than the program's asked.
  void pairing_mismatch();

  // The bridge failed in the middle of a change.
  void fail();
  bool failed() const;

  // Readable after every publication and withdrawal, so that the bridge's
  // event loop answers the polls it holds at once; `clear_wakeup` empties it.
  int wakeup_fd() const { return wakeup_.get(); }
  void clear_wakeup();

 private:
  void wake_bridge();

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<Job> job_;
  std::optional<JobResult> result_;
  bool connected_ = false;
  std::optional<std::uint64_t> answered_id_;
  std::optional<std::string> extension_version_;
  std::optional<std::string> extension_browser_;
  bool failed_ = false;
  bool pairing_mismatch_ = false;
  bool pairing_mismatch_told_ = false;
  UniqueFd wakeup_;
};

}  // namespace wendlebox
