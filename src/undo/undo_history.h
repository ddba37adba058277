// The prompts of a session that /undo can still take back, newest last.
// What each one keeps (its watch, the copies of the files it changed) is
// bounded across the session: past the limits the oldest are let go, and
// /undo says how far back it reaches.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "undo/prompt_watch.h"

namespace wendlebox {

struct CommittedPrompt {
  std::string commit;
  std::string prompt;
  PromptWatch watch;  // what the prompt changed, and the state before it
};

struct UndoLimits {
  std::size_t prompts = 50;
  // Paths the prompts changed, all together: a command that makes a
  // hundred thousand files records each of them.
  std::size_t touched = 200'000;
};

class UndoHistory {
 public:
  explicit UndoHistory(UndoLimits limits = {}) : limits_(limits) {}

  // Adds the newest prompt, then lets the oldest go while the limits are
  // passed (never the newest).
  void add(CommittedPrompt prompt);
  void drop_newest() { prompts_.pop_back(); }

  bool empty() const { return prompts_.empty(); }
  std::size_t size() const { return prompts_.size(); }
  CommittedPrompt& newest() { return prompts_.back(); }
  const CommittedPrompt& newest() const { return prompts_.back(); }
  std::vector<CommittedPrompt>& prompts() { return prompts_; }
  // How many prompts were let go, oldest first, to stay within the limits.
  std::size_t let_go() const { return let_go_; }

 private:
  UndoLimits limits_;
  std::vector<CommittedPrompt> prompts_{};
  std::size_t let_go_ = 0;
};

}  // namespace wendlebox
