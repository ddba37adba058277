// The loopback HTTP bridge that the browser extension polls: it offers the
// current job and takes ChatGPT's reply back.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/attachment.h"
#include "common/files.h"
#include "common/json.h"
#include "common/result.h"

// Where the extension looks for the program; the build takes it from the
// extension's own list of names (extension/messages.js).
inline constexpr int kBridgePort = WENDLEBOX_BRIDGE_PORT;

struct Job {
  std::string prompt;
  std::vector<Attachment> attachments;
  std::uint64_t id = 0;
  // The extension reports what it finds on ChatGPT's page instead of
  // sending a prompt (`wendlebox --probe`).
  bool probe = false;
};

struct BrowserResult {
  std::uint64_t id = 0;
  std::optional<std::string> text{};
  std::optional<std::string> url{};
  std::optional<std::string> error{};
};

struct BridgeState {
  std::optional<Job> job;
  std::optional<BrowserResult> result;
  bool connected = false;
  std::optional<std::uint64_t> answered_id;
  std::optional<std::string> extension_version{};  // as the last poll gave it
};

// What the session thread and the bridge thread share: the state, its one
// lock and one condition variable. `poisoned` is set when the bridge thread
// failed while it held the lock, so the state can no longer be trusted.
struct SharedBridge {
  std::mutex mutex;
  std::condition_variable changed;
  BridgeState state;
  std::atomic<bool> poisoned{false};
};

// Binds 127.0.0.1 on `port` (the product's is kBridgePort; 0 picks a free
// one, for tests) with SO_REUSEADDR, so connections of a previous session
// lingering in TIME_WAIT do not block a new one, and makes the listener
// non-blocking.
Result<int> bind_bridge_listener(int port);

// The port a listener is bound to, -1 when it cannot be read.
int bound_port(int listener);

// Serves requests until the listener fails or is shut down; the caller
// closes the listener afterwards.
void serve(int listener, std::shared_ptr<SharedBridge> shared, std::string token);

// The bridge on a thread of its own for the life of this object, so that a
// session (or a test) that ends leaves no listener and no thread behind.
class BridgeThread {
 public:
  // Binds as bind_bridge_listener does, then starts serving.
  static Result<std::unique_ptr<BridgeThread>> start(int port, std::shared_ptr<SharedBridge> shared,
                                                     std::string token);
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
