#include "session/interrupt.h"

#include <signal.h>
#include <time.h>

#include "common/end_signals.h"

namespace wendlebox {

namespace {

std::atomic<bool> interrupted{false};
std::atomic<long long> first_at_ms{0};
std::atomic<long long> command_stopped_at_ms{-1};  // when a Ctrl-C last stopped a command
CommandStop command{};
struct sigaction previous {};

long long now_ms() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000LL + now.tv_nsec / 1'000'000;
}

// Only async-signal-safe work here: atomics, clock_gettime, signal, raise.
void on_interrupt(int) {
  const long long now = now_ms();
  if (interrupted && now - first_at_ms < 2000) {
    ::signal(SIGINT, SIG_DFL);
    ::raise(SIGINT);
    return;
  }
  const long long stopped_at = command_stopped_at_ms;
  if (!interrupted && stopped_at >= 0 && now - stopped_at < 2000) {
    // Again soon after a command was stopped: the prompt stops too.
  } else if (command.running) {
    command_stopped_at_ms = now;
    command.requested = true;
    return;
  }
  first_at_ms = now;
  interrupted = true;
}

}  // namespace

InterruptScope::InterruptScope() {
  interrupted = end_signal() != 0;  // a prompt begun as the session is told to end stops at once
  command_stopped_at_ms = -1;
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, &previous);
}

InterruptScope::~InterruptScope() { ::sigaction(SIGINT, &previous, nullptr); }

const std::atomic<bool>& InterruptScope::requested() { return interrupted; }

std::atomic<bool>* InterruptScope::flag() { return &interrupted; }

CommandStop* InterruptScope::command_stop() { return &command; }

void InterruptScope::actions_start() { command_stopped_at_ms = -1; }

}  // namespace wendlebox
