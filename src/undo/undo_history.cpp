#include "undo/undo_history.h"

#include <algorithm>

namespace wendlebox {

void UndoHistory::add(CommittedPrompt prompt) {
  prompts_.push_back(std::move(prompt));
  std::size_t touched = 0;
  for (const CommittedPrompt& kept : prompts_) touched += kept.watch.touched().size();
  std::size_t first_kept = 0;
  while (prompts_.size() - first_kept > 1 &&
         (prompts_.size() - first_kept > limits_.prompts || touched > limits_.touched)) {
    touched -= prompts_[first_kept].watch.touched().size();
    ++first_kept;
  }
  prompts_.erase(prompts_.begin(), prompts_.begin() + static_cast<std::ptrdiff_t>(first_kept));
  let_go_ += first_kept;
}

}  // namespace wendlebox
