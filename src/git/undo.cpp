#include "git/undo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "common/files.h"

namespace {

using Kind = FileState::Kind;

// The history goes back to the commit before the prompt (or to none, for
// the first commit of a new repository), and the index of the working
// folder to what was staged then.
Status take_commit_back(const GitSession& session, const std::string& commit, const PromptWatch& watch) {
  const std::optional<std::string>& before = watch.head_before();
  if (before) {
    if (auto moved = git_ok(session.root, {"update-ref", "HEAD", *before, commit}); !moved)
      return std::unexpected(moved.error());
  } else if (auto cleared = git_ok(session.root, {"update-ref", "-d", "HEAD", commit}); !cleared) {
    return std::unexpected(cleared.error());
  }
  const std::optional<std::string>& staged = watch.staged_before() ? watch.staged_before() : before;
  if (!staged) return {};
  auto reset = git_ok(session.root, {"reset", "--quiet", *staged, "--", session.pathspec});
  if (!reset) return std::unexpected(reset.error());
  return {};
}

// The commit must still be the newest, right after the one the prompt
// started from: what the user committed since is theirs to keep.
Status check_history(const GitSession& session, const std::string& commit, const PromptWatch& watch) {
  if (watch.problem()) return failure("the state before the prompt could not be kept: " + *watch.problem());
  auto head = git_ok(session.root, {"rev-parse", "--verify", "--quiet", "HEAD"});
  if (!head || *head != commit) return failure("the repository has new commits since the last prompt");
  auto parents = git_ok(session.root, {"rev-list", "--parents", "--max-count=1", commit});
  if (!parents) return std::unexpected(parents.error());
  const bool has_parent = parents->find(' ') != std::string::npos;
  if (!watch.head_before()) {
    if (has_parent) return failure("the repository has new commits since the last prompt");
    return {};
  }
  auto follows = git_output(session.root, {"merge-base", "--is-ancestor", *watch.head_before(), commit});
  if (!follows) return std::unexpected(follows.error());
  if (!follows->status.success()) return failure("the history changed while the prompt ran");
  return {};
}

// The bytes the file had when the prompt started, as Git holds them for a
// file the prompt's commands changed. Only the raw blob is read: through
// the work tree's attributes (which the prompt may have changed) or a
// filter, what came back would be other bytes. A blob of another size than
// the file had is Git's converted form of it, not the file.
Result<std::string> blob_before(const GitSession& session, const PromptWatch& watch, const fs::path& path,
                                const FileState& before) {
  const std::string not_kept = "its earlier content was not kept (Git ignores it, and no action named it)";
  if (!watch.tree_before()) return failure(not_kept);
  const fs::path in_repository = path.lexically_relative(session.root);
  if (in_repository.empty() || *in_repository.begin() == "..") return failure(not_kept);
  auto shown = git_output(session.root, {"cat-file", "blob", *watch.tree_before() + ":" + in_repository.generic_string()});
  if (!shown || !shown->status.success()) return failure(not_kept);
  if (shown->output.size() != before.size)
    return failure("Git holds it only in a converted form (its attributes or a filter change its bytes)");
  return std::move(shown->output);
}

// The file (or link) as it was when the prompt started, in place of what is there.
Status write_back(const GitSession& session, const PromptWatch& watch, const fs::path& path, const Touch& touch) {
  const FileState& before = *touch.before;
  if (before.kind != Kind::File && before.kind != Kind::Link) return failure("it was neither a file nor a link");
  // Never into a folder a link stands for: what the link leads to is no file of the prompt's.
  const UniqueFd parent{::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
  if (!parent) return os_failure();
  const std::string name = path.filename().string();
  if (before.kind == Kind::Link) {
    if (::unlinkat(parent.get(), name.c_str(), 0) != 0 && errno != ENOENT) return os_failure();
    if (::symlinkat(before.link.c_str(), parent.get(), name.c_str()) != 0) return os_failure();
    return {};
  }
  if (touch.kept) return touch.kept->write_to(parent.get(), name, before.mode);
  if (touch.not_kept) return failure(*touch.not_kept);
  auto content = blob_before(session, watch, path, before);
  if (!content) return std::unexpected(content.error());
  return replace_at(parent.get(), name, *content, before.mode);
}

// What is at `path` as a look at the folder sees it: behind a link that
// stands where a folder was, nothing is.
std::optional<FileState> state_as_seen(const fs::path& path) {
  for (fs::path above = path.parent_path(); above.has_relative_path(); above = above.parent_path()) {
    const std::optional<FileState> state = file_state(above);
    if (state && state->kind == Kind::Link) return std::nullopt;
  }
  return file_state(path);
}

// A file the prompt renamed, back under its old name: never over a file
// that appeared there since the look, nor into a folder a link stands for.
bool move_back(const fs::path& made, const fs::path& was) {
  const int flags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  const UniqueFd from{::open(made.parent_path().c_str(), flags)}, to{::open(was.parent_path().c_str(), flags)};
  return from && to &&
         ::renameat2(from.get(), made.filename().c_str(), to.get(), was.filename().c_str(), RENAME_NOREPLACE) == 0;
}

std::size_t depth(const fs::path& path) { return static_cast<std::size_t>(std::distance(path.begin(), path.end())); }

// Files the prompt only renamed: each new name (made by the prompt) with
// the name the very file had before (same inode, size and time). Such a
// file may be nowhere else (Git ignores it, a command moved it), so it is
// never deleted: it goes back by name, or stays where it is.
std::map<fs::path, fs::path> renamed_files(const PromptWatch& watch) {
  std::map<std::uint64_t, std::pair<fs::path, const FileState*>> gone;  // by inode: the name it left
  for (const auto& [path, touch] : watch.touched())
    if (touch.before && touch.before->kind == Kind::File && (!touch.after || touch.after->inode != touch.before->inode))
      gone.try_emplace(touch.before->inode, path, &*touch.before);
  std::map<fs::path, fs::path> renamed;
  for (const auto& [path, touch] : watch.touched()) {
    if (touch.before || !touch.after || touch.after->kind != Kind::File) continue;
    auto found = gone.find(touch.after->inode);
    if (found == gone.end()) continue;
    const FileState& was = *found->second.second;
    if (was.size == touch.after->size && was.modified_ns == touch.after->modified_ns)
      renamed.emplace(path, found->second.first);
  }
  return renamed;
}

}  // namespace

Result<UndoReport> undo_prompt(const GitSession& session, const std::string& commit, const PromptWatch& watch) {
  if (auto checked = check_history(session, commit, watch); !checked) return std::unexpected(checked.error());
  if (auto taken = take_commit_back(session, commit, watch); !taken) return std::unexpected(taken.error());

  UndoReport report{.commands_watched = watch.commands_watched()};
  std::vector<std::pair<fs::path, const Touch*>> to_restore;
  for (const auto& [path, touch] : watch.touched()) {
    if (same_state(touch.before, touch.after)) continue;  // nothing of the prompt's is left there
    if (touch.shared || !same_state(state_as_seen(path), touch.after)) {
      report.left.push_back(path);
      continue;
    }
    to_restore.emplace_back(path, &touch);
  }
  // A renamed file goes back only to a name that is to be put back; where
  // that name is not, the file stays under its new one.
  std::map<fs::path, fs::path> moves;  // new name → old name
  std::set<fs::path> returning;
  for (const auto& [made, was] : renamed_files(watch)) {
    const bool made_restorable = std::ranges::any_of(to_restore, [&](const auto& item) { return item.first == made; });
    if (!made_restorable) continue;
    const bool was_restorable = std::ranges::any_of(
        to_restore, [&](const auto& item) { return item.first == was && !item.second->after; });
    if (was_restorable && returning.insert(was).second) moves.emplace(made, was);
    else moves.emplace(made, fs::path());
  }
  // What the prompt made is taken away first (files), then what it removed
  // comes back (folders from the top, renamed files, folders it made from
  // the deepest, then files).
  std::vector<const std::pair<fs::path, const Touch*>*> folders_made, folders_back, files_back;
  for (const auto& item : to_restore) {
    const Touch& touch = *item.second;
    if (moves.contains(item.first) || returning.contains(item.first)) continue;
    const bool was_folder = touch.before && touch.before->kind == Kind::Folder;
    const bool is_folder = touch.after && touch.after->kind == Kind::Folder;
    // What the prompt put where nothing was, or a folder where a file was
    // (or the other way round), goes first.
    if (touch.after && (!touch.before || is_folder != was_folder)) {
      if (is_folder) {
        folders_made.push_back(&item);
      } else if (::unlink(item.first.c_str()) != 0 && errno != ENOENT) {
        report.lost.emplace_back(item.first, os_error_text(errno));
        continue;
      }
    }
    if (!touch.before) {
      if (!is_folder) report.restored.emplace_back(item.first, std::nullopt);
    } else if (was_folder) {
      folders_back.push_back(&item);
    } else {
      files_back.push_back(&item);
    }
  }
  std::ranges::sort(folders_back, [](auto* a, auto* b) { return depth(a->first) < depth(b->first); });
  for (const auto* item : folders_back) {
    const FileState& before = *item->second->before;
    const bool made = ::mkdir(item->first.c_str(), before.mode) == 0 || errno == EEXIST;
    if (made && ::chmod(item->first.c_str(), before.mode) == 0)
      report.restored.emplace_back(item->first, file_state(item->first));
    else
      report.lost.emplace_back(item->first, os_error_text(errno));
  }
  for (const auto& [made, was] : moves) {
    if (!was.empty() && move_back(made, was)) {
      report.restored.emplace_back(made, std::nullopt);
      report.restored.emplace_back(was, file_state(was));
      continue;
    }
    report.left.push_back(made);
    if (!was.empty()) report.lost.emplace_back(was, "it could not be moved back from " + made.filename().string());
  }
  std::ranges::sort(folders_made, [](auto* a, auto* b) { return depth(a->first) > depth(b->first); });
  for (const auto* item : folders_made) {
    // A folder that still holds someone else's files stays.
    if (::rmdir(item->first.c_str()) == 0 && !item->second->before) report.restored.emplace_back(item->first, std::nullopt);
  }
  for (const auto* item : files_back) {
    if (auto written = write_back(session, watch, item->first, *item->second))
      report.restored.emplace_back(item->first, file_state(item->first));
    else
      report.lost.emplace_back(item->first, written.error().message);
  }
  std::ranges::sort(report.left);
  std::ranges::sort(report.lost);
  return report;
}
