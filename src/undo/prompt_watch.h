// What one prompt changed in the files, so that /undo can put back exactly
// that. When the prompt starts, the state before it is kept: Git's HEAD and
// index, a tree holding every file of the working folder that Git does not
// ignore (the user's uncommitted and untracked work included; an untracked
// file other users could read through .git but not in place is kept as a
// copy instead, see KeptCopies), and a look
// at every entry of the folder (ignored ones too). Each action that may
// change files then runs between two looks: what changed during an action
// is the prompt's, what changed between actions (an editor, the user) is
// not. The file an action names (a write) is also kept before it runs
// (see KeptCopies), so that its very bytes can be put back even when Git
// ignores it, it lies in another allowed folder, or it is large. An action that follows another at once starts
// from that one's closing look rather than looking again: at 50,000
// entries a look is a seventh of a second.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "workspace/folder_scan.h"
#include "git/git.h"
#include "undo/kept_copies.h"

namespace wendlebox {

// One path the prompt changed.
struct Touch {
  std::optional<FileState> before{};   // when the prompt started; none: not there
  KeptHandle kept{};                   // its bytes then, when an action named it
  std::optional<std::string> not_kept{};  // why they could not be kept, when they could not
  std::optional<FileState> after{};    // as the prompt last left it
  bool shared = false;                 // changed by someone else too while the prompt ran
};

class PromptWatch {
 public:
  // Looks at most at this many entries; a bigger folder leaves the changes
  // of commands unwatched (the files that actions name still are).
  static constexpr std::size_t kMaxEntries = 100'000;
  // The state before the prompt, in `folder` of the session's repository;
  // the files that actions name are kept in `kept`, which outlives the watch.
  static PromptWatch start(const GitSession& session, const std::filesystem::path& folder, KeptCopies& kept);

  // Around an action that may change files; `named` is the file it names,
  // when it names one, resolved as the action resolves it. The look after
  // an action stands as the look before the next one until look_afresh.
  void before(const std::optional<std::filesystem::path>& named);
  void after(const std::optional<std::filesystem::path>& named);
  // The folder may have changed since the last action's closing look (the
  // user worked while ChatGPT answered, or while an action that is not
  // watched asked them something): the next action looks for itself, so
  // that what changed meanwhile stays theirs.
  void look_afresh();

  // Once the prompt is over, only what /undo needs is kept.
  void finish();

  const std::filesystem::path& folder() const { return folder_; }
  // Why the state before the prompt could not be kept, if it could not.
  const std::optional<std::string>& problem() const { return problem_; }
  const std::optional<std::string>& head_before() const { return head_before_; }
  const std::optional<std::string>& staged_before() const { return staged_before_; }
  const std::optional<std::string>& tree_before() const { return tree_before_; }
  bool commands_watched() const { return commands_watched_; }
  const std::map<std::filesystem::path, Touch>& touched() const { return touched_; }
  // After a later prompt's undo put `path` back as it was when that prompt
  // started: when this prompt had left it so, it still counts as this prompt
  // left it, now in its `restored` state.
  void carry_restored(const std::filesystem::path& path, const std::optional<FileState>& later_before,
                      const std::optional<FileState>& restored);

 private:
  std::optional<FileState> state_at_start(const std::filesystem::path& path, const std::optional<FileState>& fallback) const;
  void keep_private(const std::filesystem::path& path);
  void record(const std::filesystem::path& path, const std::optional<FileState>& was, const std::optional<FileState>& now,
              KeptHandle kept, std::optional<std::string> not_kept);

  std::filesystem::path folder_{};
  std::optional<std::string> problem_{};
  std::optional<std::string> head_before_{};
  std::optional<std::string> staged_before_{};
  std::optional<std::string> tree_before_{};
  bool commands_watched_ = true;
  FolderScan at_start_{};
  FolderScan before_action_{};
  bool look_current_ = false;  // before_action_ is the folder as it still is
  std::optional<FileState> named_was_{};
  KeptCopies* kept_ = nullptr;
  KeptHandle named_kept_{};
  std::optional<std::string> named_not_kept_{};
  std::map<std::filesystem::path, Touch> touched_{};
  // The untracked files left out of tree_before_ as private, kept as they
  // were when the prompt started, until the prompt is over.
  struct PrivateCopy {
    KeptHandle kept{};
    std::optional<std::string> not_kept{};
  };
  std::map<std::filesystem::path, PrivateCopy> private_copies_{};
};

}  // namespace wendlebox
