// The loopback HTTP bridge that the browser extension polls: it offers the
// current job and takes ChatGPT's reply back.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "bridge/exchange.h"
#include "common/files.h"
#include "common/json.h"
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
// closes the listener afterwards. `GET /next?wait=<seconds>` (at most 30)
// is held until a job is there or the time is up; with `&unchanged=<id>`,
// until the job offered is no longer that one. Requests carry the token, or
// are signed with `signing_key` (session_key of the pairing key and the
// token), and then get signed answers; with no signing key no signed request
// is taken.
void serve(int listener, std::shared_ptr<JobExchange> exchange, std::string token, std::string signing_key = {});

// The bridge on a thread of its own for the life of this object, so that a
// session (or a test) that ends leaves no listener and no thread behind.
class BridgeThread {
 public:
  // Binds as bind_bridge_listener does, then starts serving.
  static Result<std::unique_ptr<BridgeThread>> start(int port, std::shared_ptr<JobExchange> exchange,
                                                     std::string token, std::string signing_key = {});
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

Json job_json(const Job& job);
Result<BrowserResult> decode_browser_result(std::string_view body);
