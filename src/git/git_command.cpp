#include "git/git_command.h"

#include <set>

#include "common/text.h"
#include "git/git_settings.h"

namespace wendlebox {

namespace {

// Every git command the program runs, set up here alone. Hooks, the
// file-system monitor, external diff programs and text conversions run
// commands named in settings or attributes, which files written by a reply
// could have set; signing runs a program too, and automatic upkeep leaves
// one running in the background. None of them is needed for a snapshot.
// Nor is a bare repository: a folder a reply filled with HEAD, objects,
// refs and a config would be one to git run there (a search runs git in
// any folder), and its config would be read as the repository's own,
// whatever it includes (the user's terminal, say).
std::vector<std::string> git_argv(const std::vector<std::string>& args) {
  std::vector<std::string> argv{"git",
                                "-c", "safe.bareRepository=explicit",
                                "-c", "core.hooksPath=/dev/null",
                                "-c", "core.fsmonitor=false",
                                "-c", "commit.gpgSign=false",
                                "-c", "log.showSignature=false",
                                "-c", "submodule.recurse=false",
                                "-c", "gc.auto=0",
                                "-c", "maintenance.auto=false"};
  argv.insert(argv.end(), args.begin(), args.end());
  // An empty diff.external would be run as a program of no name: these
  // options are the only sure way to keep it and textconv out.
  if (!args.empty() && (args[0] == "diff" || args[0] == "show" || args[0] == "log"))
    argv.insert(argv.begin() + static_cast<std::ptrdiff_t>(argv.size() - args.size() + 1),
                {"--no-ext-diff", "--no-textconv"});
  return argv;
}

// Where git is started, as set up above.
Result<ProcessResult> spawn_git(const std::filesystem::path& dir, const std::vector<std::string>& args,
                                ProcessSpec process) {
  process.argv = git_argv(args);
  process.cwd = dir;
  return run_process(process);
}

// Git without first learning its settings: what learns them.
Result<std::string> git_unchecked(const std::filesystem::path& dir, const std::vector<std::string>& args) {
  auto ran = spawn_git(dir, args, ProcessSpec{.argv = {}});
  if (!ran) return std::unexpected(ran.error());
  if (!ran->status.success()) return failure(std::string(trim(lossy_utf8(ran->errors))));
  return std::move(ran->output);
}

// What git reads as settings when it runs in `dir`, as git itself tells,
// recorded for the path checks of actions; nullopt when git cannot tell.
std::optional<GitSettings> learn_git_settings(const std::filesystem::path& dir) {
  auto listed = git_unchecked(dir, {"config", "--list", "--show-origin", "--show-scope", "-z"});
  if (!listed) return std::nullopt;
  // Git names the files it read from the top of the work tree.
  std::filesystem::path base = dir;
  std::error_code error;
  if (!std::filesystem::exists(dir / ".git", error))
    if (auto top = git_unchecked(dir, {"rev-parse", "--show-toplevel"}); top && !trim(*top).empty())
      base = std::string(trim(*top));
  GitSettings settings = parse_git_settings(*listed, base, git_unchecked);
  GitSettingsRecord::process().learn(settings);
  return settings;
}

// Commands that neither read the work tree's files nor merge: no filter or
// merge driver can run in them.
bool runs_no_driver(const std::vector<std::string>& args) {
  static const std::set<std::string> kCommands{"config",   "rev-parse", "rev-list",   "merge-base", "update-ref",
                                               "ls-files", "write-tree", "show",      "init"};
  return !args.empty() && kCommands.contains(args[0]);
}

std::string trimmed(std::string_view bytes) { return std::string(trim(lossy_utf8(bytes))); }

bool has_identity(const std::filesystem::path& dir) {
  for (const char* key : {"user.name", "user.email"}) {
    auto config = git_output(dir, {"config", key});
    if (!config || !config->status.success()) return false;
  }
  return true;
}

}  // namespace

Result<ProcessResult> run_git(const std::filesystem::path& dir, const std::vector<std::string>& args,
                              ProcessSpec process) {
  if (!(args.size() == 1 && args[0] == "--version"))
    // One shown on the terminal could start the pager any command names.
    if (auto settings = learn_git_settings(dir);
        settings && (!runs_no_driver(args) || process.output == OutputMode::Inherit))
      if (auto unchanged = GitSettingsRecord::process().drivers_unchanged(*settings); !unchanged)
        return std::unexpected(unchanged.error());
  return spawn_git(dir, args, std::move(process));
}

Result<ProcessResult> git_output(const std::filesystem::path& dir, const std::vector<std::string>& args,
                                 const GitEnvironment& environment) {
  return run_git(dir, args, ProcessSpec{.argv = {}, .environment = environment});
}

Result<std::string> git_ok(const std::filesystem::path& dir, const std::vector<std::string>& args,
                           const GitEnvironment& environment) {
  auto ran = git_output(dir, args, environment);
  if (!ran) return std::unexpected(ran.error());
  if (!ran->status.success()) return failure(trimmed(ran->errors));
  return trimmed(ran->output);
}

Result<std::filesystem::path> git_path(const std::filesystem::path& root, const std::string& name) {
  auto reported = git_ok(root, {"rev-parse", "--git-path", name});
  if (!reported) return std::unexpected(reported.error());
  const std::filesystem::path path(*reported);
  return path.is_absolute() ? path : root / path;
}

Status git_commit_command(const std::filesystem::path& dir, const std::vector<std::string>& args) {
  std::vector<std::string> full;
  if (!has_identity(dir))
    full = {"-c", "user.name=Wendlebox", "-c", "user.email=wendlebox@wendlebox.example"};
  full.insert(full.end(), args.begin(), args.end());
  auto ran = git_ok(dir, full);
  if (!ran) return std::unexpected(ran.error());
  return {};
}

void accept_git_settings(const std::filesystem::path& folder, const std::vector<std::filesystem::path>& allowed) {
  if (auto settings = learn_git_settings(folder)) GitSettingsRecord::process().accept(*settings, allowed);
}

}  // namespace wendlebox
