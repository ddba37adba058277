// Ctrl-C while a prompt's turns run stops that prompt, not the program: the
// first one sets a flag the session checks; a second within two seconds
// ends the program as Ctrl-C always did. While a command runs, the first
// one stops only that command (ChatGPT hears what it printed), and a second
// within two seconds stops the prompt.
#pragma once

#include <atomic>

#include "actions/executor.h"

namespace wendlebox {

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
  // Where the executor says a command runs, and hears that it is to stop.
  static CommandStop* command_stop();
  // A reply's actions begin: a command stopped in an earlier batch no
  // longer makes the next Ctrl-C stop the prompt.
  static void actions_start();
};

}  // namespace wendlebox
