// Who holds the bridge port when it cannot be bound.
#pragma once

#include <string>

// Whether what listens on 127.0.0.1:`port` answers /health as a Wendlebox
// bridge does; waits at most a second for it.
bool bridge_answers_on(int port);

// Why the bridge could not listen on `port` (bind failed with `error`): a
// session of this program holds it, another program does, or the system
// refused.
std::string port_taken_message(int port, int error);
