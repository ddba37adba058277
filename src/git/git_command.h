// Every git command the program runs is started here, with the options
// and checks that keep commands named in the repository's settings from
// running.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/result.h"
#include "process/process.h"

namespace wendlebox {

// Every git call but the one that learns the settings: what git reads as
// settings is learnt afresh first, and a command that could run a driver
// set in a file that changed while the session ran is not started. `process`
// says where the streams go (its argv and cwd are set here).
Result<ProcessResult> run_git(const std::filesystem::path& dir, const std::vector<std::string>& args,
                              ProcessSpec process);

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

}  // namespace wendlebox
