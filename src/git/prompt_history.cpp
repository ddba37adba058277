#include "git/prompt_history.h"

#include "common/files.h"
#include "common/text.h"
#include "git/left_out.h"

namespace wendlebox {

namespace fs = std::filesystem;

Result<std::optional<std::string>> head_commit(const GitSession& session) {
  auto head = git_output(session.root, {"rev-parse", "--verify", "--quiet", "HEAD"});
  if (!head) return std::unexpected(head.error());
  // No HEAD yet (a new repository): undoing its first commit leaves none again.
  if (!head->status.success()) return std::nullopt;
  return std::string(trim(head->output));
}

std::optional<std::string> staged_tree(const GitSession& session) {
  auto staged = git_ok(session.root, {"write-tree"});
  return staged ? std::optional<std::string>(*staged) : std::nullopt;
}

Result<std::string> tree_of_folder(const GitSession& session, const std::vector<std::string>& left_out) {
  auto index = git_path(session.root, "index");
  if (!index) return std::unexpected(index.error());
  auto scratch_path = git_path(session.root, "wendlebox-undo-index");
  if (!scratch_path) return std::unexpected(scratch_path.error());
  const fs::path& scratch = *scratch_path;
  std::error_code ignored;
  fs::remove(scratch, ignored);
  auto current = read_file_if_exists(*index);
  if (!current) return std::unexpected(current.error());
  // A copy of the index lets git skip the files it already knows unchanged.
  if (*current)
    if (auto copied = write_file_whole(scratch, **current); !copied) return std::unexpected(copied.error());
  const std::vector<std::pair<std::string, std::string>> scratch_index{{"GIT_INDEX_FILE", scratch.string()}};
  auto added = add_all_except(session.root, session.pathspec, left_out, scratch_index, true);
  auto tree = added ? git_ok(session.root, {"write-tree"}, scratch_index) : Result<std::string>(added);
  fs::remove(scratch, ignored);
  return tree;
}

Status check_prompt_commit(const GitSession& session, const std::string& commit,
                           const std::optional<std::string>& head_before) {
  auto head = git_ok(session.root, {"rev-parse", "--verify", "--quiet", "HEAD"});
  if (!head || *head != commit) return failure("the repository has new commits since the last prompt");
  auto parents = git_ok(session.root, {"rev-list", "--parents", "--max-count=1", commit});
  if (!parents) return std::unexpected(parents.error());
  const bool has_parent = parents->find(' ') != std::string::npos;
  if (!head_before) {
    if (has_parent) return failure("the repository has new commits since the last prompt");
    return {};
  }
  auto follows = git_output(session.root, {"merge-base", "--is-ancestor", *head_before, commit});
  if (!follows) return std::unexpected(follows.error());
  if (!follows->status.success()) return failure("the history changed while the prompt ran");
  return {};
}

Status take_commit_back(const GitSession& session, const std::string& commit,
                        const std::optional<std::string>& head_before, const std::optional<std::string>& staged_before) {
  const std::optional<std::string>& before = head_before;
  if (before) {
    if (auto moved = git_ok(session.root, {"update-ref", "HEAD", *before, commit}); !moved)
      return std::unexpected(moved.error());
  } else if (auto cleared = git_ok(session.root, {"update-ref", "-d", "HEAD", commit}); !cleared) {
    return std::unexpected(cleared.error());
  }
  const std::optional<std::string>& staged = staged_before ? staged_before : before;
  if (!staged) return {};
  auto reset = git_ok(session.root, {"reset", "--quiet", *staged, "--", session.pathspec});
  if (!reset) return std::unexpected(reset.error());
  return {};
}

Result<std::string> blob_before(const GitSession& session, const std::optional<std::string>& tree_before,
                                const fs::path& path, std::uint64_t size) {
  const std::string not_kept = "its earlier content was not kept (Git ignores it, and no action named it)";
  if (!tree_before) return failure(not_kept);
  const fs::path in_repository = path.lexically_relative(session.root);
  if (in_repository.empty() || *in_repository.begin() == "..") return failure(not_kept);
  auto shown = git_output(session.root, {"cat-file", "blob", *tree_before + ":" + in_repository.generic_string()});
  if (!shown || !shown->status.success()) return failure(not_kept);
  if (shown->output.size() != size)
    return failure("Git holds it only in a converted form (its attributes or a filter change its bytes)");
  return std::move(shown->output);
}

}  // namespace wendlebox
