#include "undo/prompt_watch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/files.h"
#include "git/left_out.h"
#include "git/prompt_history.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

using Change = std::pair<std::optional<FileState>, std::optional<FileState>>;

// What differs between two looks at the same folder, by path.
void add_differences(const fs::path& folder, const FolderScan& was, const FolderScan& now,
                     std::map<fs::path, Change>& changes) {
  auto a = was.entries.begin(), b = now.entries.begin();
  while (a != was.entries.end() || b != now.entries.end()) {
    if (b == now.entries.end() || (a != was.entries.end() && a->first < b->first)) {
      changes.try_emplace(folder / a->first, a->second, std::nullopt);
      ++a;
    } else if (a == was.entries.end() || b->first < a->first) {
      changes.try_emplace(folder / b->first, std::nullopt, b->second);
      ++b;
    } else {
      if (!a->second.same_as(b->second)) changes.try_emplace(folder / a->first, a->second, b->second);
      ++a, ++b;
    }
  }
}

}  // namespace

PromptWatch PromptWatch::start(const GitSession& session, const fs::path& folder, KeptCopies& kept) {
  PromptWatch watch;
  watch.folder_ = folder;
  watch.kept_ = &kept;
  watch.at_start_ = scan_folder(folder, kMaxEntries);
  watch.commands_watched_ = watch.at_start_.complete;
  auto head = head_commit(session);
  if (!head) {
    watch.problem_ = head.error().message;
    return watch;
  }
  watch.head_before_ = *head;
  watch.staged_before_ = staged_tree(session);
  if (!watch.at_start_.entries.empty()) {
    // Whatever goes into the tree lands in .git/objects: an untracked file
    // other users could read there but not where it is stays out, and its
    // bytes are kept with the session's copies instead.
    auto left_out = private_untracked_files(session.root, session.pathspec);
    if (!left_out) return watch;
    for (const std::string& path : left_out->paths) watch.keep_private(session.root / path);
    auto tree = tree_of_folder(session, left_out->paths);
    if (tree) watch.tree_before_ = *tree;
  }
  return watch;
}

void PromptWatch::keep_private(const fs::path& path) {
  PrivateCopy& copy = private_copies_[path];
  const UniqueFd file{::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
  auto kept = file ? kept_->keep(file.get()) : Result<KeptHandle>(os_failure());
  if (kept) copy.kept = std::move(*kept);
  else copy.not_kept = "its content could not be kept: " + kept.error().message;
}

std::optional<FileState> PromptWatch::state_at_start(const fs::path& path,
                                                     const std::optional<FileState>& fallback) const {
  const fs::path relative = path.lexically_relative(folder_);
  if (!at_start_.complete || relative.empty() || *relative.begin() == "..") return fallback;
  auto found = at_start_.entries.find(relative.generic_string());
  if (found == at_start_.entries.end()) return std::nullopt;
  return found->second;
}

void PromptWatch::before(const std::optional<fs::path>& named) {
  if (commands_watched_ && !look_current_) {
    before_action_ = scan_folder(folder_, kMaxEntries);
    commands_watched_ = before_action_.complete;
  }
  look_current_ = false;
  named_was_.reset();
  named_kept_.reset();
  named_not_kept_.reset();
  if (!named) return;
  named_was_ = file_state(*named);
  // Only its content before the prompt's first change of it is worth keeping.
  if (!named_was_ || named_was_->kind != FileState::Kind::File || touched_.contains(*named)) return;
  const UniqueFd file{::open(named->c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
  auto kept = file ? kept_->keep(file.get()) : Result<KeptHandle>(os_failure());
  if (kept) named_kept_ = std::move(*kept);
  else named_not_kept_ = "its content could not be kept: " + kept.error().message;
}

void PromptWatch::after(const std::optional<fs::path>& named) {
  std::map<fs::path, Change> changes;
  FolderScan now;
  if (commands_watched_) {
    now = scan_folder(folder_, kMaxEntries);
    commands_watched_ = now.complete;
    if (now.complete) add_differences(folder_, before_action_, now, changes);
  }
  if (named) {
    std::optional<FileState> now = file_state(*named);
    if (!same_state(named_was_, now)) changes.try_emplace(*named, named_was_, std::move(now));
  }
  for (auto& [path, change] : changes) {
    const bool is_named = named && path == *named;
    record(path, change.first, change.second, is_named ? std::move(named_kept_) : KeptHandle(),
           is_named ? std::move(named_not_kept_) : std::nullopt);
  }
  before_action_ = commands_watched_ ? std::move(now) : FolderScan{};
  look_current_ = commands_watched_;
  named_kept_.reset();
  named_not_kept_.reset();
}

void PromptWatch::look_afresh() {
  before_action_ = {};
  look_current_ = false;
}

void PromptWatch::record(const fs::path& path, const std::optional<FileState>& was, const std::optional<FileState>& now,
                         KeptHandle kept, std::optional<std::string> not_kept) {
  auto [entry, first] = touched_.try_emplace(path);
  Touch& touch = entry->second;
  if (first) {
    // A private file's copy holds its bytes as the prompt found them.
    if (auto found = private_copies_.find(path); found != private_copies_.end() && (found->second.kept || !kept)) {
      kept = found->second.kept;
      not_kept = found->second.not_kept;
    }
    touch.before = state_at_start(path, was);
    // Changed since the prompt started, before the prompt's first change.
    touch.shared = !same_state(touch.before, was);
    touch.kept = std::move(kept);
    touch.not_kept = std::move(not_kept);
  } else if (!same_state(touch.after, was)) {
    touch.shared = true;  // changed by someone else between two of the prompt's changes
  }
  touch.after = now;
}

void PromptWatch::finish() {
  at_start_ = {};
  private_copies_.clear();
  look_afresh();
  named_was_.reset();
  named_kept_.reset();
  named_not_kept_.reset();
}

void PromptWatch::carry_restored(const fs::path& path, const std::optional<FileState>& later_before,
                                 const std::optional<FileState>& restored) {
  auto found = touched_.find(path);
  if (found != touched_.end() && same_state(found->second.after, later_before)) found->second.after = restored;
}

}  // namespace wendlebox
