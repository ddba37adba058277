#include "undo/undo.h"

#include <algorithm>
#include <set>

#include "common/files.h"
#include "git/prompt_history.h"
#include "undo/undo_plan.h"
#include "workspace/put_back.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

using Kind = FileState::Kind;

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
  auto content = blob_before(session, watch.tree_before(), path, before.size);
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
  if (watch.problem()) return failure("the state before the prompt could not be kept: " + *watch.problem());
  if (auto checked = check_prompt_commit(session, commit, watch.head_before()); !checked)
    return std::unexpected(checked.error());
  if (auto taken = take_commit_back(session, commit, watch.head_before(), watch.staged_before()); !taken)
    return std::unexpected(taken.error());

  // The plan says what comes back and in which order: what the prompt made
  // is taken away first (files), then what it removed comes back (folders
  // from the top, renamed files, folders it made from the deepest, then files).
  const UndoPlan plan = plan_undo(watch.touched(), state_as_seen);
  UndoReport report{.left = plan.left, .commands_watched = watch.commands_watched()};
  std::set<fs::path> not_taken_away;
  for (const UndoPlan::Removal& removal : plan.removals) {
    if (auto taken = take_away_file(removal.path); !taken) {
      report.lost.emplace_back(removal.path, taken.error().message);
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
      report.lost.emplace_back(path, made.error().message);
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
      report.lost.emplace_back(path, written.error().message);
  }
  std::ranges::sort(report.left);
  std::ranges::sort(report.lost);
  return report;
}

}  // namespace wendlebox
