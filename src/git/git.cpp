#include "git/git.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <iostream>
#include <set>

#include <fmt/format.h>

#include "common/files.h"
#include "common/text.h"
#include "git/left_out.h"
#include "i18n/i18n.h"
#include "process/local_time.h"
#include "common/env.h"
#include "git/messages.h"

namespace wendlebox {

namespace {

using namespace messages::git;

constexpr const char* kExcludeLine = ".wendlebox/";

void info(const Printer& out, const i18n::Text& notice) { out.line(Colour::dim, i18n::tr(notice)); }
void warn(const Printer& out, std::string_view label, const Error& error) {
  out.line(Colour::warning, std::string(label) + error.message);
}

// Paths for one line; a long list ends with how many more there are.
std::string listed(const std::vector<std::string>& paths) {
  constexpr std::size_t kShown = 12;
  std::string names;
  for (std::size_t i = 0; i < paths.size() && i < kShown; ++i) names += (i ? ", " : "") + one_line_text(paths[i]);
  if (paths.size() > kShown) names += fmt::format(" (+{})", paths.size() - kShown);
  return names;
}

// The project folder holds local chat logs that must never be committed.
Status exclude_project_folder(const std::filesystem::path& root) {
  auto found = git_path(root, "info/exclude");
  if (!found) return std::unexpected(found.error());
  const std::filesystem::path& exclude = *found;
  const std::string text = read_file(exclude).value_or("");
  for (std::string_view line : split_lines(text))
    if (trim(line) == kExcludeLine) return {};
  if (!exclude.has_parent_path()) return failure("Invalid Git exclude path");
  if (auto made = create_dirs(exclude.parent_path()); !made) return made;
  return append_file(exclude, std::string("\n") + kExcludeLine + "\n");
}

std::string relative_pathspec(const std::filesystem::path& folder, const std::filesystem::path& root) {
  auto f = folder.begin();
  for (auto r = root.begin(); r != root.end(); ++r, ++f) {
    if (r->empty()) continue;
    if (f == folder.end() || *f != *r) return ".";
  }
  std::filesystem::path rest;
  for (; f != folder.end(); ++f) rest /= *f;
  std::string text = lossy_utf8(rest.native());
  while (text.ends_with('/')) text.pop_back();
  if (text.empty()) return ".";
  for (char& c : text)
    if (c == '\\') c = '/';
  return text;
}

}  // namespace

namespace {

// The repository's objects are copies of the folder's files, each readable
// by anyone who can enter .git: a new repository's .git is the user's
// alone from the start (made before git fills it, so no other user can
// have opened any part of it), whatever the files' own modes.
Status make_private_git_folder(const std::filesystem::path& folder) {
  const std::filesystem::path git_folder = folder / ".git";
  if (::mkdir(git_folder.c_str(), kPrivateFolder) == 0) return {};
  if (errno != EEXIST) return os_failure();
  // An empty .git left from before: git will fill it, so it is made private too.
  UniqueFd existing{::open(git_folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
  if (!existing) return {};  // not a folder (a gitfile): git init says what it makes of it
  if (::fchmod(existing.get(), kPrivateFolder) != 0) return os_failure();
  return {};
}

// Stages the pathspec for a snapshot, leaving out the untracked files that
// other users could read through .git but not where they are; each is
// named once, with the command that makes .git private.
Result<std::string> add_for_snapshot(const GitSession& session, const std::string& pathspec, const Printer& out) {
  auto left_out = private_untracked_files(session.root, pathspec);
  if (!left_out) return std::unexpected(left_out.error());
  std::vector<std::string> unnamed;
  for (const std::string& path : left_out->paths)
    if (session.named_left_out.insert(path).second) unnamed.push_back(path);
  if (!unnamed.empty())
    out.line(Colour::warning, fmt::format(fmt::runtime(i18n::tr(kPrivateLeftOut)), listed(unnamed),
                                          private_folder_command(left_out->git_folder)));
  return add_all_except(session.root, pathspec, left_out->paths);
}

bool is_home_or_root(const std::filesystem::path& folder) {
  auto here = canonical_path(folder);
  if (!here) return false;
  if (*here == here->root_path()) return true;
  const std::optional<std::string> home = process_env("HOME");
  if (!home || home->empty()) return false;
  auto home_folder = canonical_path(*home);
  return home_folder && *home_folder == *here;
}

}  // namespace

std::optional<GitSession> prepare_git(const std::filesystem::path& folder, const Printer& out) {
  auto version = git_output(folder, {"--version"});
  if (!version || !version->status.success()) {
    info(out, kNotInstalled);
    return std::nullopt;
  }
  const bool created = !git_ok(folder, {"rev-parse", "--show-toplevel"});
  if (created && is_home_or_root(folder)) {
    // A first snapshot there would commit keys, downloads and every
    // program's settings.
    info(out, kNoRepositoryHere);
    return std::nullopt;
  }
  if (created) {
    if (auto private_folder = make_private_git_folder(folder); !private_folder) {
      warn(out, "Git setup skipped: ", private_folder.error());
      return std::nullopt;
    }
    if (auto init = git_ok(folder, {"init", "--quiet"}); !init) {
      warn(out, "Git setup skipped: ", init.error());
      return std::nullopt;
    }
  }
  auto top = git_ok(folder, {"rev-parse", "--show-toplevel"});
  if (!top) {
    warn(out, "Git setup skipped: ", top.error());
    return std::nullopt;
  }
  auto root = canonical_path(*top);
  if (!root) {
    warn(out, "Git setup skipped: ", root.error());
    return std::nullopt;
  }
  if (auto excluded = exclude_project_folder(*root); !excluded) {
    warn(out, "Git log exclusion failed: ", excluded.error());
    return std::nullopt;
  }
  GitSession session{*root, relative_pathspec(folder, *root)};
  if (created) {
    auto secrets = exclude_secret_files(*root);
    if (!secrets) {
      warn(out, "Initial Git snapshot skipped: ", secrets.error());
      return std::nullopt;
    }
    if (!secrets->empty()) out.line(Colour::warning, fmt::format(fmt::runtime(i18n::tr(kSecretsKeptOut)), listed(*secrets)));
    if (auto added = add_for_snapshot(session, ".", out); !added) {
      warn(out, "Initial Git snapshot skipped: ", added.error());
      return std::nullopt;
    }
    auto staged = git_output(*root, {"diff", "--cached", "--quiet"});
    if (staged && !staged->status.success()) {
      if (auto snapshot = git_commit_command(*root, {"commit", "--quiet", "-m", "Wendlebox: initial snapshot"});
          !snapshot) {
        warn(out, "Initial Git snapshot skipped: ", snapshot.error());
        return std::nullopt;
      }
    }
    info(out, kRepositoryCreated);
  }
  return session;
}

namespace {

// The message goes through a file: a prompt of any size fits, where a
// command-line argument stops at the system's limit.
Status commit_with_message(const GitSession& session, const std::string& message) {
  auto file = git_path(session.root, "wendlebox-commit-message");
  if (!file) return std::unexpected(file.error());
  if (auto written = write_file_whole(*file, message); !written) return written;
  auto committed = git_commit_command(
      session.root, {"commit", "--only", "--allow-empty", "--quiet", "-F", file->string(), "--", session.pathspec});
  std::error_code ignored;
  std::filesystem::remove(*file, ignored);
  return committed;
}

}  // namespace

std::optional<std::string> commit_finished_task(const GitSession& session, const std::string& prompt,
                                                const Printer& out) {
  const std::string time = local_timestamp();
  std::string message(trim(prompt));
  if (message.empty()) message = "Task completed";
  if (auto added = add_for_snapshot(session, session.pathspec, out); !added) {
    warn(out, "Git snapshot skipped: ", added.error());
    return std::nullopt;
  }
  // A folder with no file Git knows (a new, empty one that the prompt left
  // empty) has nothing to commit, and git would only complain of the pathspec.
  auto known = git_ok(session.root, {"ls-files", "--", session.pathspec});
  if (known && known->empty()) return std::nullopt;
  // --only with the pathspec keeps whatever else is staged out of the commit.
  auto committed = commit_with_message(session, time + "\n\n" + message + "\n");
  if (!committed) {
    warn(out, "Git snapshot skipped: ", committed.error());
    return std::nullopt;
  }
  info(out, kSnapshotSaved);
  auto head = git_ok(session.root, {"rev-parse", "HEAD"});
  return head ? std::optional<std::string>(*head) : std::nullopt;
}

namespace {

Status on_terminal(const GitSession& session, const std::vector<std::string>& args) {
  auto shown = run_git(session.root, args,
                       ProcessSpec{.argv = {}, .input = InputMode::Inherit, .output = OutputMode::Inherit,
                                   .errors = OutputMode::Inherit});
  if (!shown) return std::unexpected(shown.error());
  return {};
}

}  // namespace

Status show_commit(const GitSession& session, const std::string& commit, const std::optional<std::string>& since) {
  std::cout.flush();
  if (!since) return on_terminal(session, {"show", "--stat", "--patch", "--format=%s%n%b", commit});
  if (auto header = on_terminal(session, {"show", "--no-patch", "--format=%s%n%b", commit}); !header) return header;
  return on_terminal(session, {"diff", "--stat", "--patch", *since, commit, "--", session.pathspec});
}

std::optional<std::filesystem::path> repository_top(const std::filesystem::path& folder) {
  for (std::filesystem::path dir = folder;; dir = dir.parent_path()) {
    struct stat info {};
    if (::lstat((dir / ".git").c_str(), &info) == 0) return dir;
    if (dir == dir.parent_path()) return std::nullopt;
  }
}

}  // namespace wendlebox
