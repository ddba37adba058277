#include "undo/undo.h"

#include <algorithm>
#include <set>

#include "common/files.h"
#include "undo/undo_plan.h"
#include "workspace/put_back.h"

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
  auto parent = open_holding_folder(path);
  if (!parent) return std::unexpected(parent.error());
  const std::string name = path.filename().string();
  if (before.kind == Kind::Link) return put_back_link(parent->get(), name, before.link);
  if (touch.kept) return touch.kept->write_to(parent->get(), name, before.mode);
  if (touch.not_kept) return failure(*touch.not_kept);
  auto content = blob_before(session, watch, path, before);
  if (!content) return std::unexpected(content.error());
  return put_back_file(parent->get(), name, *content, before.mode);
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

}  // namespace

Result<UndoReport> undo_prompt(const GitSession& session, const std::string& commit, const PromptWatch& watch) {
  if (auto checked = check_history(session, commit, watch); !checked) return std::unexpected(checked.error());
  if (auto taken = take_commit_back(session, commit, watch); !taken) return std::unexpected(taken.error());

  // The plan says what comes back and in which order: what the prompt made
  // is taken away first (files), then what it removed comes back (folders
  // from the top, renamed files, folders it made from the deepest, then files).
  const UndoPlan plan = plan_undo(watch.touched(), state_as_seen);
  UndoReport report{.left = plan.left, .commands_watched = watch.commands_watched()};
  std::set<fs::path> not_taken_away;
  for (const UndoPlan::Removal& removal : plan.removals) {
    if (auto taken = take_away_file(removal.path); !taken) {
      report.lost.emplace_back(removal.path, taken.error());
      not_taken_away.insert(removal.path);
    } else if (removal.back_to_nothing) {
      report.restored.emplace_back(removal.path, std::nullopt);
    }
  }
  for (const fs::path& path : plan.folders_back) {
    if (not_taken_away.contains(path)) continue;
    if (auto made = put_back_folder(path, watch.touched().at(path).before->mode))
      report.restored.emplace_back(path, file_state(path));
    else
      report.lost.emplace_back(path, made.error());
  }
  for (const auto& [made, was] : plan.moves) {
    if (!was.empty() && move_back(made, was)) {
      report.restored.emplace_back(made, std::nullopt);
      report.restored.emplace_back(was, file_state(was));
      continue;
    }
    report.left.push_back(made);
    if (!was.empty()) report.lost.emplace_back(was, "it could not be moved back from " + made.filename().string());
  }
  for (const fs::path& path : plan.folders_made) {
    // A folder that still holds someone else's files stays.
    if (take_away_empty_folder(path) && !watch.touched().at(path).before) report.restored.emplace_back(path, std::nullopt);
  }
  for (const fs::path& path : plan.files_back) {
    if (not_taken_away.contains(path)) continue;
    if (auto written = write_back(session, watch, path, watch.touched().at(path)))
      report.restored.emplace_back(path, file_state(path));
    else
      report.lost.emplace_back(path, written.error());
  }
  std::ranges::sort(report.left);
  std::ranges::sort(report.lost);
  return report;
}
