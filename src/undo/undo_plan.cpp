#include "undo/undo_plan.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

using Kind = FileState::Kind;

std::size_t depth(const fs::path& path) { return static_cast<std::size_t>(std::distance(path.begin(), path.end())); }

// Files the prompt only renamed: each new name (made by the prompt) with
// the name the very file had before (same inode, size and time). Such a
// file may be nowhere else (Git ignores it, a command moved it), so it is
// never deleted: it goes back by name, or stays where it is.
std::map<fs::path, fs::path> renamed_files(const std::map<fs::path, Touch>& touched) {
  std::map<std::uint64_t, std::pair<fs::path, const FileState*>> gone;  // by inode: the name it left
  for (const auto& [path, touch] : touched)
    if (touch.before && touch.before->kind == Kind::File && (!touch.after || touch.after->inode != touch.before->inode))
      gone.try_emplace(touch.before->inode, path, &*touch.before);
  std::map<fs::path, fs::path> renamed;
  for (const auto& [path, touch] : touched) {
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

UndoPlan plan_undo(const std::map<fs::path, Touch>& touched,
                   const std::function<std::optional<FileState>(const fs::path&)>& now) {
  UndoPlan plan;
  std::vector<std::pair<fs::path, const Touch*>> to_restore;
  for (const auto& [path, touch] : touched) {
    if (same_state(touch.before, touch.after)) continue;  // nothing of the prompt's is left there
    if (touch.shared || !same_state(now(path), touch.after)) {
      plan.left.push_back(path);
      continue;
    }
    to_restore.emplace_back(path, &touch);
  }
  // A renamed file goes back only to a name that is to be put back; where
  // that name is not, the file stays under its new one.
  std::set<fs::path> returning;
  for (const auto& [made, was] : renamed_files(touched)) {
    const bool made_restorable = std::ranges::any_of(to_restore, [&](const auto& item) { return item.first == made; });
    if (!made_restorable) continue;
    const bool was_restorable = std::ranges::any_of(
        to_restore, [&](const auto& item) { return item.first == was && !item.second->after; });
    if (was_restorable && returning.insert(was).second) plan.moves.emplace(made, was);
    else plan.moves.emplace(made, fs::path());
  }
  for (const auto& [path, touch] : to_restore) {
    if (plan.moves.contains(path) || returning.contains(path)) continue;
    const bool was_folder = touch->before && touch->before->kind == Kind::Folder;
    const bool is_folder = touch->after && touch->after->kind == Kind::Folder;
    if (touch->after && (!touch->before || is_folder != was_folder)) {
      if (is_folder) plan.folders_made.push_back(path);
      else plan.removals.push_back({.path = path, .back_to_nothing = !touch->before});
    }
    if (!touch->before) continue;
    if (was_folder) plan.folders_back.push_back(path);
    else plan.files_back.push_back(path);
  }
  std::ranges::stable_sort(plan.folders_back, [](const fs::path& a, const fs::path& b) { return depth(a) < depth(b); });
  std::ranges::stable_sort(plan.folders_made, [](const fs::path& a, const fs::path& b) { return depth(a) > depth(b); });
  return plan;
}

}  // namespace wendlebox
