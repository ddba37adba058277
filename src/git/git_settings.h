// The files Git reads as settings for the repositories the program runs
// git in, learnt from git itself before each of the program's git calls.
//
// Git runs commands that its settings name (a filter's `clean`, a merge
// driver, a hook folder), whether or not the user lets ChatGPT run
// commands. So no action may write a file git reads as settings: the
// system, global and XDG files, the repository's own, every file they
// include (found or not yet there, includes of includes too), and the
// attributes, excludes and hooks they point to. As a second wall, a
// command-running driver set in such a file inside an allowed folder that
// changed while the session ran stops the program's git call.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/env.h"
#include "common/result.h"

namespace wendlebox {

struct GitSettingsPlace {
  std::filesystem::path path;  // absolute, as git opens it (links and ".." left for the kernel)
  bool folder = false;         // everything inside counts (a hooks folder, the repository's own folder)
  bool operator==(const GitSettingsPlace&) const = default;
};

// A setting that names a command git runs by itself while it adds,
// commits, checks out or merges (`filter.<driver>.clean`, `.smudge`,
// `.process`, `merge.<driver>.driver`) or when it shows its output on a
// terminal (`core.pager`, `pager.<command>`), and the file that sets it.
struct GitDriver {
  std::string key;
  std::filesystem::path file;
};

struct GitSettings {
  std::vector<GitSettingsPlace> places;
  std::vector<GitDriver> drivers;
  std::string repository;  // the repository's own settings file: which repository this is ("" outside one)
};

// Runs one git command in a folder, with the caller's own safeguards.
using GitRunner = std::function<Result<std::string>(const std::filesystem::path& dir,
                                                    const std::vector<std::string>& args)>;

// What git reads as settings when it runs in `dir`: from
// `git config --list --show-origin --show-scope -z` (`listing`), paths
// relative to `base` (the folder git works from, the repository's top
// level), includes resolved as git resolves them (relative to the
// including file's folder, "~/" from HOME). An include target that exists
// but git does not read now (its condition does not hold) is read through
// `run`, and so are its includes. The fixed places (system, global, XDG)
// are always there, whether the files exist or not.
GitSettings parse_git_settings(std::string_view listing, const std::filesystem::path& base, const GitRunner& run,
                               const EnvLookup& env = process_env);

// The program's record of what git reads, for every repository it ran git
// in this run (the accepted one always kept), and of the settings files as
// they were when the session last accepted them.
class GitSettingsRecord {
 public:
  static GitSettingsRecord& process();

  // What git reads now in one repository (from `parse_git_settings`).
  void learn(const GitSettings& settings);
  // Takes the settings files of `settings` as they are now as the
  // session's own, with the folders actions may write (`allowed`). A file
  // whose command-running driver changed since the last acceptance is not
  // taken: it stays refused for the rest of the session.
  void accept(const GitSettings& settings, const std::vector<std::filesystem::path>& allowed);
  // Why git must not run with `settings` now: a command-running driver set
  // in a settings file inside an allowed folder that changed since it was
  // accepted (or was not there then).
  Status drivers_unchanged(const GitSettings& settings);
  // Every place learnt, for the path checks of actions.
  std::vector<GitSettingsPlace> places() const;
  // Forgets everything (tests).
  void clear();

 private:
  struct Mark {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    std::int64_t modified = 0, changed = 0;
    bool operator==(const Mark&) const = default;
  };
  struct Known {
    GitSettings settings;
    std::uint64_t used = 0;
  };
  static Mark mark_of(const std::filesystem::path& path);
  bool driver_changed(const GitDriver& driver);

  mutable std::mutex mutex_;
  std::map<std::string, Known> repositories_;  // by GitSettings::repository
  std::uint64_t clock_ = 0;
  std::optional<std::string> accepted_;
  std::vector<std::filesystem::path> allowed_;
  std::map<std::string, Mark> marks_;  // settings files as last accepted
  std::set<std::string> refused_;      // files whose driver changed: never accepted again this session
};

// The fixed places, as learnt for every repository.
std::vector<GitSettingsPlace> fixed_git_settings(const EnvLookup& env = process_env);

}  // namespace wendlebox
