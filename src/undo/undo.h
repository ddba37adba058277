// Taking back one prompt: the files it changed are put back as they were
// before it, and its commit leaves the history.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/result.h"
#include "git/git.h"
#include "undo/prompt_watch.h"

namespace wendlebox {

struct UndoReport {
  // Changed by someone else too, during the prompt or since: left as they are.
  std::vector<std::filesystem::path> left{};
  // Could not be put back, each with why: its earlier content was not kept
  // (a file Git ignores that a command changed), its kept copy no longer
  // matched, or writing it failed.
  std::vector<std::pair<std::filesystem::path, std::string>> lost{};
  // Put back, with what is there now (none: removed), for the earlier
  // prompts' watches.
  std::vector<std::pair<std::filesystem::path, std::optional<FileState>>> restored{};
  bool commands_watched = true;  // false: the folder was too big to watch what commands changed
};

// Puts back what the prompt committed as `commit` changed, leaving every
// file that someone else changed too, and moves the history back to where
// it was before the prompt, with the index as it was then: the user's own
// pending work, which the commit held, is pending again. Fails, changing
// nothing, when the repository has moved on since the commit.
Result<UndoReport> undo_prompt(const GitSession& session, const std::string& commit, const PromptWatch& watch);

}  // namespace wendlebox
