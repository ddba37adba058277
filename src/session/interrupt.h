// Ctrl-C while a prompt's turns run stops that prompt, not the program: the
// first one sets a flag the session checks; a second within two seconds
// ends the program as Ctrl-C always did.
#pragma once

#include <atomic>

class InterruptScope {
 public:
  // Installs the handler for the life of the scope; the old one comes back after.
  InterruptScope();
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

  // Set by the first Ctrl-C; the session, the wait and a running command watch it.
  static const std::atomic<bool>& requested();
  // The same flag, for what else stops a prompt (SIGHUP, SIGTERM).
  static std::atomic<bool>* flag();
};
