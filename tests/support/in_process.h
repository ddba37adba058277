// The whole program run inside the test process: the command line goes
// through `run`, the page's address is recorded where a browser opener
// would get it, prompts are typed from a queue, and what the session and
// its failure line say is kept. ChatGPT's page is reached in memory (the
// test plays the extension on the session's job exchange), or, for what is
// about the bridge, over the loopback bridge on a free port. Only one runs
// at a time in a process (it changes the working folder and the
// environment while it runs).
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "bridge/exchange.h"
#include "support/support.h"

namespace wendlebox {

class InProcessProgram {
 public:
  enum class Link { Memory, Bridge, BridgeWithoutOpener };
  // `run.program` and `run.path_prefix` have no meaning here; each address
  // opened is appended to `opened_urls`, a line each.
  InProcessProgram(const BinaryRun& run, std::filesystem::path opened_urls, Link link = Link::Memory);
  ~InProcessProgram();
  InProcessProgram(const InProcessProgram&) = delete;
  InProcessProgram& operator=(const InProcessProgram&) = delete;

  // Lines typed at the "You >" prompt, as a terminal would deliver them.
  void send_input(const std::string& text);
  void close_input();
  std::string output_so_far() const;
  // The chat address given with each "You >" prompt, in order.
  std::vector<std::optional<std::string>> addresses_shown() const;
  // The bridge's port, once the session listens (Link::Bridge).
  int port() const;
  // The job exchange of the page opened in memory, once it is (Link::Memory).
  std::shared_ptr<JobExchange> exchange() const;
  // Ends the input and waits for the program; one still running after
  // `limit` ends the whole test process, as a failure.
  CommandResult finish(std::chrono::seconds limit = std::chrono::seconds(60));

 private:
  class Capture;
  std::optional<std::string> next_line();

  ScopedEnv env_;
  std::filesystem::path previous_folder_;
  std::filesystem::path opened_urls_;
  std::unique_ptr<Capture> out_, err_;
  mutable std::mutex input_mutex_;
  std::condition_variable input_changed_;
  std::deque<std::string> lines_;
  std::string partial_line_;
  bool input_closed_ = false;
  std::vector<std::optional<std::string>> addresses_shown_;
  std::atomic<int> port_{0};
  mutable std::mutex exchange_mutex_;
  std::shared_ptr<JobExchange> exchange_;
  std::future<int> exit_code_;
  std::optional<CommandResult> finished_;
};

}  // namespace wendlebox
