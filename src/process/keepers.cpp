#include "process/keepers.h"

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>
#include <utility>

#include "process/process.h"
#include "process/process_keeper.h"

namespace wendlebox {

Keepers::Keepers(pid_t keeper) {
  if (keeper > 0) keepers_.push_back(keeper);
}

Keepers::Keepers(Keepers&& other) noexcept : keepers_(std::exchange(other.keepers_, {})) {}

Keepers& Keepers::operator=(Keepers&& other) noexcept {
  if (this != &other) {
    end();
    keepers_ = std::exchange(other.keepers_, {});
  }
  return *this;
}

Keepers::~Keepers() { end(); }

void Keepers::take(Keepers&& more) {
  reap();
  keepers_.insert(keepers_.end(), more.keepers_.begin(), more.keepers_.end());
  more.keepers_.clear();
}

void Keepers::reap() {
  // Keepers whose command left nothing behind have ended: reaped now.
  std::erase_if(keepers_, [](pid_t keeper) {
    auto ended = try_wait_process(keeper);
    return !ended || *ended;
  });
}

std::size_t Keepers::end() {
  const std::vector<pid_t> keepers = std::exchange(keepers_, {});
  std::size_t ended = 0;
  // Only keepers not yet reaped are signalled: their ids are still theirs.
  std::vector<pid_t> running;
  for (const pid_t keeper : keepers) {
    auto checked = try_wait_process(keeper);
    if (checked && !*checked) running.push_back(keeper), stop_kept(keeper);
  }
  // A keeper gives up on what it cannot end after five seconds; one that
  // is itself stuck (stopped) is not waited for much longer.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(7);
  for (const pid_t keeper : running) {
    std::optional<ExitStatus> status;
    for (;;) {
      auto checked = try_wait_process(keeper);
      if (!checked) break;
      status = *checked;
      if (status || std::chrono::steady_clock::now() >= deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!status) {
      ::kill(keeper, SIGKILL);  // still this program's child, not reaped: the id is its own
      // Only reaps it: killed, it did not end what it kept, whatever the wait says.
      (void)wait_process(keeper);
    }
    if (status && status->code == 1) ++ended;
  }
  return ended;
}

}  // namespace wendlebox
