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

namespace wendlebox {

// Where the extension looks for the program; the build takes them from the
// extension's own list of names (extension/messages.js). A session listens
// on the first of them that is free, so several run side by side.
inline constexpr int kBridgePort = WENDLEBOX_BRIDGE_PORT;
inline constexpr int kLastBridgePort = WENDLEBOX_LAST_BRIDGE_PORT;

// The ports a bridge may listen on, tried in order. One port alone (0 picks
// a free one, for tests) converts.
struct PortRange {
  constexpr PortRange(int port) : first(port), last(port) {}  // NOLINT: one port is a range
  constexpr PortRange(int from, int to) : first(from), last(to) {}
  int first;
  int last;
};
inline constexpr PortRange kBridgePorts{kBridgePort, kLastBridgePort};

// Binds 127.0.0.1 on the first port of `ports` that is free (each is tried
// with bind itself, so two sessions starting at once never pick the same
// one) with SO_REUSEADDR, so connections of a previous session lingering in
// TIME_WAIT do not block a new one, and makes the listener non-blocking.
// When every port is taken, says so and what holds the first.
Result<int> bind_bridge_listener(PortRange ports);

// The port a listener is bound to, -1 when it cannot be read.
int bound_port(int listener);

// Serves requests until the listener fails or is shut down; the caller
// closes the listener afterwards. Only requests signed with the session's
// key in `keys` are let in (bridge/auth.h), and their answers are signed;
// what they get is bridge/routes.h's. The health check, open to anyone,
// names `folder`, the session's working folder.
void serve(int listener, std::shared_ptr<JobExchange> exchange, BridgeKeys keys, std::string folder = {});

// The bridge on a thread of its own for the life of this object, so that a
// session (or a test) that ends leaves no listener and no thread behind.
class BridgeThread {
 public:
  // Binds as bind_bridge_listener does, then starts serving.
  static Result<std::unique_ptr<BridgeThread>> start(PortRange ports, std::shared_ptr<JobExchange> exchange,
                                                     BridgeKeys keys, std::string folder = {});
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

}  // namespace wendlebox
