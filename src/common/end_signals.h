// SIGHUP (the terminal closed) and SIGTERM (a shutdown, a `kill`) end a
// session the way /exit does, not on the spot: background commands ended,
// the forwarding page removed, the chat saved, the terminal restored.
#pragma once

#include <atomic>

namespace wendlebox {

// While it lives, SIGHUP and SIGTERM only note the signal and set `stop`
// (which the running prompt, its wait and its command watch); the same
// signal a second time ends the program at once.
class EndSignalScope {
 public:
  explicit EndSignalScope(std::atomic<bool>* stop);
  ~EndSignalScope();
  EndSignalScope(const EndSignalScope&) = delete;
  EndSignalScope& operator=(const EndSignalScope&) = delete;
};

// The signal that asked the program to end, 0 while none has.
int end_signal();

// Once the session has ended cleanly, ends the program by that signal, so
// that whoever sent it sees it obeyed.
void obey_end_signal();

}  // namespace wendlebox
