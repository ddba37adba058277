// A prompt's place in Git's history, as /undo needs it: what the
// repository was when the prompt started (its HEAD, its index, a tree of
// the working folder), and, to undo it, the prompt's commit taken back out
// of the history and a file's bytes read back from that tree.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"
#include "git/git.h"

namespace wendlebox {

// HEAD's commit now; none in a repository with no commit yet.
Result<std::optional<std::string>> head_commit(const GitSession& session);

// What is staged now, as a tree; none when Git could not write it.
std::optional<std::string> staged_tree(const GitSession& session);

// Every file of the working folder that Git does not ignore, but for
// `left_out`, as they are now, as one tree: written through a scratch copy
// of the index, so that neither the user's index nor their files are touched.
Result<std::string> tree_of_folder(const GitSession& session, const std::vector<std::string>& left_out);

// Fails unless `commit` is still the newest commit, right after
// `head_before`, the one the prompt started from (none: the first commit of
// a new repository): what the user committed since is theirs to keep.
Status check_prompt_commit(const GitSession& session, const std::string& commit,
                           const std::optional<std::string>& head_before);

// The history goes back to `head_before` (or to none, for the first commit
// of a new repository), and the index of the working folder to what was
// staged then (`staged_before`, else `head_before`).
Status take_commit_back(const GitSession& session, const std::string& commit,
                        const std::optional<std::string>& head_before, const std::optional<std::string>& staged_before);

// The bytes `path` had in `tree_before` (the folder when the prompt
// started), `size` bytes long then. Only the raw blob is read: through the
// work tree's attributes (which the prompt may have changed) or a filter,
// what came back would be other bytes. A blob of another size is Git's
// converted form of the file, not the file.
Result<std::string> blob_before(const GitSession& session, const std::optional<std::string>& tree_before,
                                const std::filesystem::path& path, std::uint64_t size);

}  // namespace wendlebox
