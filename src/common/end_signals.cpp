#include "common/end_signals.h"

#include <signal.h>

namespace wendlebox {

namespace {

std::atomic<int> received{0};
std::atomic<std::atomic<bool>*> stop_flag{nullptr};
struct sigaction previous_hangup {}, previous_terminate {};

// Only async-signal-safe work here: atomics, signal, raise.
void on_end_signal(int signal) {
  if (received == signal) {
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    return;
  }
  if (received != 0) return;
  received = signal;
  if (std::atomic<bool>* stop = stop_flag) *stop = true;
}

}  // namespace

EndSignalScope::EndSignalScope(std::atomic<bool>* stop) {
  stop_flag = stop;
  struct sigaction action {};
  action.sa_handler = on_end_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no restart: a blocking read returns, and sees the signal
  ::sigaction(SIGHUP, &action, &previous_hangup);
  ::sigaction(SIGTERM, &action, &previous_terminate);
}

EndSignalScope::~EndSignalScope() {
  ::sigaction(SIGHUP, &previous_hangup, nullptr);
  ::sigaction(SIGTERM, &previous_terminate, nullptr);
  stop_flag = nullptr;
}

int end_signal() { return received; }

void obey_end_signal() {
  if (const int signal = received) {
    ::signal(signal, SIG_DFL);
    ::raise(signal);
  }
}

}  // namespace wendlebox
