// Git snapshots: the working folder's repository is made ready when a
// session starts, and every finished prompt becomes a commit.
#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/printer.h"
#include "common/result.h"
#include "git/git_command.h"

namespace wendlebox {

struct GitSession {
  std::filesystem::path root;  // the repository's top level, canonical
  std::string pathspec;        // the working folder relative to root, or "."
  // Private files a snapshot left out and already named: each is named once.
  mutable std::set<std::string> named_left_out{};
};

// Prints its own notices on `out`; none means no commits this session.
std::optional<GitSession> prepare_git(const std::filesystem::path& folder, const Printer& out);
// The new commit's id, or nullopt when the commit was skipped (it says why on `out`).
std::optional<std::string> commit_finished_task(const GitSession& session, const std::string& prompt,
                                                const Printer& out);

// Shows the commit's summary and changes (through the user's pager and in
// colour when the output is a terminal, as git does). With `since` (a tree
// of the working folder when the prompt started), the changes are those
// made since: the user's own pending work, which the commit holds too, is
// not shown as the prompt's.
Status show_commit(const GitSession& session, const std::string& commit,
                   const std::optional<std::string>& since = std::nullopt);

// The folder holding the repository of `folder` (the nearest one with a
// `.git` entry), or nullopt outside any repository. Found on the file
// system alone: asked before anything runs, and git may not be installed.
std::optional<std::filesystem::path> repository_top(const std::filesystem::path& folder);

}  // namespace wendlebox
