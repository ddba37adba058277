// Git snapshots: the working folder's repository is made ready when a
// session starts, and every finished prompt becomes a commit.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/printer.h"
#include "common/process.h"
#include "common/result.h"

struct GitSession {
  std::filesystem::path root;  // the repository's top level, canonical
  std::string pathspec;        // the working folder relative to root, or "."
};

// Runs git; fails only when git cannot be started.
Result<ProcessResult> git_output(const std::filesystem::path& dir, const std::vector<std::string>& args);
// Trimmed standard output on success, trimmed standard error otherwise.
Result<std::string> git_ok(const std::filesystem::path& dir, const std::vector<std::string>& args);
// A commit-like command, with a fallback identity when git has none.
Status git_commit_command(const std::filesystem::path& dir, const std::vector<std::string>& args);

// Prints its own notices on `out`; none means no commits this session.
std::optional<GitSession> prepare_git(const std::filesystem::path& folder, const Printer& out);
// The new commit's id, or nullopt when the commit was skipped (it says why on `out`).
std::optional<std::string> commit_finished_task(const GitSession& session, const std::string& prompt,
                                                const Printer& out);

// The files and folders of the session's part of the repository that no
// commit holds (new or ignored), relative to its root; a folder none of
// whose files is tracked counts as one entry ("build/").
Result<std::vector<std::string>> uncommitted_entries(const GitSession& session);

// Takes back `commit` when it is still HEAD and nothing has changed since
// (nothing staged, modified or new); otherwise says why and changes nothing.
// `left_out` are entries the prompt created that the commit could not hold
// (ignored ones): they are removed too.
Status undo_commit(const GitSession& session, const std::string& commit, const std::vector<std::string>& left_out = {});

// Shows the commit's summary and changes (through the user's pager and in
// colour when the output is a terminal, as git does).
Status show_commit(const GitSession& session, const std::string& commit);
