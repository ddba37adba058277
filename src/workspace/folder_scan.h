// What is in a folder, entry by entry, as far as telling a change needs:
// two looks at the same folder show what was created, changed or deleted
// in between, whatever did it (a write of ours, a command, an editor).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace wendlebox {

struct FileState {
  enum class Kind { File, Link, Folder, Other };
  Kind kind = Kind::Other;
  mode_t mode = 0;  // permission bits
  std::uint64_t size = 0;
  std::uint64_t inode = 0;
  std::int64_t modified_ns = 0;
  std::int64_t changed_ns = 0;  // status change: a rewrite that keeps the time still shows
  std::string link{};           // where a link points

  // A folder is the same while it is a folder with the same mode: what is
  // in it is compared entry by entry.
  bool same_as(const FileState& other) const;
};

bool same_state(const std::optional<FileState>& a, const std::optional<FileState>& b);

// What is at `path` now, the link itself rather than where it leads;
// nullopt when nothing is there.
std::optional<FileState> file_state(const std::filesystem::path& path);

struct FolderScan {
  std::map<std::string, FileState> entries{};  // by path relative to the folder
  bool complete = true;                        // false once the limit cut the look short
};

// Every entry below `folder`, at most `limit`, links not followed. Git's
// own folders (.git, at any depth) and the program's project folder
// (.wendlebox, at the top) are left out: neither is the user's work.
FolderScan scan_folder(const std::filesystem::path& folder, std::size_t limit);

}  // namespace wendlebox
