// Who holds the bridge port when it cannot be bound.
#pragma once

#include <optional>
#include <string>

namespace wendlebox {

// What a Wendlebox session's health check tells of it: its working folder,
// empty when it names none.
struct SessionOnPort {
  std::string folder;
};

// What listens on 127.0.0.1:`port`, when it answers /health as a Wendlebox
// bridge does; waits at most a second for it.
std::optional<SessionOnPort> session_on(int port);

// Why the bridge could not listen on `port` (bind failed with `error`): a
// session of this program holds it, another program does, or the system
// refused.
std::string port_taken_message(int port, int error);

// Every port from `first` to `last` is taken: says so, and what holds
// `first` (a session of this program, with its folder, or another program).
std::string all_ports_taken_message(int first, int last);

}  // namespace wendlebox
