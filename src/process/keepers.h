// The keepers (process_keeper.h) of the commands a session ran: what those
// commands left running in the background (`server &`, `setsid daemon`)
// ends with their holder rather than outliving it unseen. A keeper's id is
// signalled only while this program has not reaped it, so it is still its own.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <vector>

namespace wendlebox {

class Keepers {
 public:
  Keepers() = default;
  // The keeper `keeper` (none when 0), as started for a command.
  explicit Keepers(pid_t keeper);
  Keepers(const Keepers&) = delete;
  Keepers& operator=(const Keepers&) = delete;
  Keepers(Keepers&& other) noexcept;
  Keepers& operator=(Keepers&& other) noexcept;
  // What is still kept ends with its holder.
  ~Keepers();

  // Takes over the keepers `more` holds, first letting go of those already
  // ended (their command left nothing behind).
  void take(Keepers&& more);
  // Reaps the keepers that have ended and lets go of them.
  void reap();
  // Has each keeper end what its command left running (SIGTERM, then
  // SIGKILL to what is left two seconds later) and waits for it; returns
  // how many had something left. Holds none afterwards.
  std::size_t end();
  std::size_t size() const { return keepers_.size(); }

 private:
  std::vector<pid_t> keepers_;
};

}  // namespace wendlebox
