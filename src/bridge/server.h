// The loopback HTTP bridge that the browser extension polls: it offers the
// current job and takes ChatGPT's reply back.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "bridge/auth.h"
#include "bridge/exchange.h"
#include "bridge/wire.h"
#include "common/files.h"
#include "common/result.h"

// Where the extension looks for the program; the build takes it from the
// extension's own list of names (extension/messages.js).
inline constexpr int kBridgePort = WENDLEBOX_BRIDGE_PORT;

// Binds 127.0.0.1 on `port` (the product's is kBridgePort; 0 picks a free
// one, for tests) with SO_REUSEADDR, so connections of a previous session
// lingering in TIME_WAIT do not block a new one, and makes the listener
// non-blocking.
Result<int> bind_bridge_listener(int port);

// The port a listener is bound to, -1 when it cannot be read.
int bound_port(int listener);

// Serves requests until the listener fails or is shut down; the caller
// closes the listener afterwards. Only requests signed with the session's
// key in `keys` are let in (bridge/auth.h), and their answers are signed;
// what they get is bridge/routes.h's.
void serve(int listener, std::shared_ptr<JobExchange> exchange, BridgeKeys keys);

// The bridge on a thread of its own for the life of this object, so that a
// session (or a test) that ends leaves no listener and no thread behind.
class BridgeThread {
 public:
  // Binds as bind_bridge_listener does, then starts serving.
  static Result<std::unique_ptr<BridgeThread>> start(int port, std::shared_ptr<JobExchange> exchange, BridgeKeys keys);
  ~BridgeThread();
  BridgeThread(const BridgeThread&) = delete;
  BridgeThread& operator=(const BridgeThread&) = delete;
  int port() const { return port_; }

 private:
  explicit BridgeThread(UniqueFd listener);
  UniqueFd listener_;
  int port_;
  std::thread thread_{};
};
