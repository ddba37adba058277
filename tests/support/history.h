// Real changes to replay as edits: each text file a commit of a Git
// repository changed, before and after, with the commit's hunks turned
// into `edit_file` edits, as ChatGPT would send them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "actions/action.h"

namespace wendlebox {

struct FileChange {
  std::string commit;
  std::string path;
  std::string before, after;
  std::vector<Edit> edits;  // the hunks, each with its lines of context
};

// The newest `count` commits with a parent, oldest first; none outside a
// repository or without Git.
std::vector<std::string> recent_commits(const std::filesystem::path& repo, std::size_t count);

// The UTF-8 text files that `commit` changed (not those it added or
// deleted), each hunk an edit with `context` lines around the change.
std::vector<FileChange> commit_changes(const std::filesystem::path& repo, const std::string& commit, int context);

// `change` with edits that apply one place each and give exactly the
// committed text: its hunks with two lines of context, or, where those
// are ambiguous, with more.
FileChange unambiguous(const std::filesystem::path& repo, const FileChange& change);

// The edits as ChatGPT types them in a reply, and the whole file as
// write_file would carry it: JSON text, escapes included.
std::size_t typed_edit_bytes(const std::vector<Edit>& edits);
std::size_t typed_write_bytes(const std::string& content);

}  // namespace wendlebox
