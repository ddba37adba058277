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
#include "process/process.h"
#include "common/result.h"

struct GitSession {
  std::filesystem::path root;  // the repository's top level, canonical
  std::string pathspec;        // the working folder relative to root, or "."
  // Private files a snapshot left out and already named: each is named once.
  mutable std::set<std::string> named_left_out{};
};

// Variables set for one git command (GIT_INDEX_FILE for a scratch index).
using GitEnvironment = std::vector<std::pair<std::string, std::string>>;

// Runs git; fails only when git cannot be started.
Result<ProcessResult> git_output(const std::filesystem::path& dir, const std::vector<std::string>& args,
                                 const GitEnvironment& environment = {});
// Trimmed standard output on success, trimmed standard error otherwise.
Result<std::string> git_ok(const std::filesystem::path& dir, const std::vector<std::string>& args,
                           const GitEnvironment& environment = {});
// Where git keeps `name` (an index, a file of its own) for the repository
// at `root`, as an absolute path.
Result<std::filesystem::path> git_path(const std::filesystem::path& root, const std::string& name);
// A commit-like command, with a fallback identity when git has none.
Status git_commit_command(const std::filesystem::path& dir, const std::vector<std::string>& args);

// Learns from git which files it reads as settings for `folder`'s
// repository, so that no action writes them, and takes them as they are
// now: a command-running driver set later in one of them inside the
// `allowed` folders stops the program's git calls. Called when the
// session starts and at each prompt; every git call learns them afresh.
void accept_git_settings(const std::filesystem::path& folder, const std::vector<std::filesystem::path>& allowed);

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
