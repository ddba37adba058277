#include "bridge/exchange.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace wendlebox {

std::string_view stop_message(StopReason reason) {
  switch (reason) {
    case StopReason::Interrupted:
      return "interrupted by the user";
    case StopReason::BridgeFailed:
      return "poisoned lock: another task failed inside";
    case StopReason::NotConnected:
      break;
  }
  return "The extension did not connect.";
}

JobExchange::JobExchange() : wakeup_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void JobExchange::wake_bridge() {
  const std::uint64_t one = 1;
  // A full counter is still readable, which is all the bridge needs.
  [[maybe_unused]] const ssize_t written = ::write(wakeup_.get(), &one, sizeof one);
}

void JobExchange::clear_wakeup() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t read = ::read(wakeup_.get(), &count, sizeof count);
}

void JobExchange::publish(Job job) {
  {
    std::lock_guard lock(mutex_);
    job_ = std::move(job);
    result_.reset();
    connected_ = false;
  }
  changed_.notify_all();
  wake_bridge();
}

JobExchange::Seen JobExchange::wait(std::chrono::milliseconds limit, bool knows_connected) {
  std::unique_lock lock(mutex_);
  const auto untold_mismatch = [&] { return pairing_mismatch_ && !pairing_mismatch_told_; };
  changed_.wait_for(lock, limit, [&] { return failed_ || result_ || (connected_ && !knows_connected) || untold_mismatch(); });
  Seen seen{.connected = connected_, .bridge_failed = failed_, .pairing_mismatch = untold_mismatch()};
  pairing_mismatch_told_ = pairing_mismatch_;
  if (failed_ || !result_) return seen;
  // Collected: the job is done with, and a repeat of its result is a duplicate.
  answered_id_ = result_->id;
  seen.result = std::exchange(result_, std::nullopt);
  job_.reset();
  return seen;
}

void JobExchange::withdraw() {
  {
    std::lock_guard lock(mutex_);
    if (job_) answered_id_ = job_->id;
    job_.reset();
    result_.reset();
  }
  changed_.notify_all();
  wake_bridge();
}

std::optional<std::string> JobExchange::extension_version() const {
  std::lock_guard lock(mutex_);
  return extension_version_;
}

std::optional<std::string> JobExchange::extension_browser() const {
  std::lock_guard lock(mutex_);
  return extension_browser_;
}

std::optional<Job> JobExchange::poll(const std::optional<std::string>& extension_version,
                                     const std::optional<std::string>& extension_browser) {
  std::optional<Job> offer;
  {
    std::lock_guard lock(mutex_);
    connected_ = true;
    if (extension_version) extension_version_ = extension_version->substr(0, 32);
    if (extension_browser) extension_browser_ = extension_browser->substr(0, 32);
    if (job_ && !result_) offer = job_;
  }
  changed_.notify_all();
  return offer;
}

JobExchange::Delivery JobExchange::deliver(JobResult result) {
  std::unique_lock lock(mutex_);
  if (job_ && job_->id == result.id) {
    result_ = std::move(result);
    lock.unlock();
    changed_.notify_all();
    return Delivery::Accepted;
  }
  return answered_id_ == result.id ? Delivery::Duplicate : Delivery::Stale;
}

void JobExchange::pairing_mismatch() {
  {
    std::lock_guard lock(mutex_);
    // Only the first one wakes the session: a client that asks again and
    // again under a wrong key changes nothing more.
    if (pairing_mismatch_) return;
    pairing_mismatch_ = true;
  }
  changed_.notify_all();
}

void JobExchange::fail() {
  {
    std::lock_guard lock(mutex_);
    failed_ = true;
  }
  changed_.notify_all();
}

bool JobExchange::failed() const {
  std::lock_guard lock(mutex_);
  return failed_;
}

}  // namespace wendlebox
