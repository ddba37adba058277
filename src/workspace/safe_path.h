// Confinement of every path ChatGPT names to the working folder and the
// extra folders the user allowed, symbolic links included.
//
// A path is resolved one component at a time from open folders, never
// letting the kernel follow a link: each link is read and followed here,
// and the place it leads to is checked. The result holds the open folder
// of the target, and every read and write goes through that handle, so a
// link swapped after the check cannot carry the I/O somewhere else.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/digest.h"
#include "common/files.h"
#include "common/result.h"

namespace wendlebox {

// The working folder first, then each stored extra folder that still
// resolves to a directory under its own key, once.
std::vector<std::filesystem::path> root_list(const std::filesystem::path& working_folder, const std::vector<std::string>& stored_folders);

struct SafePath {
  std::filesystem::path path;                      // the request as given, or joined to the working folder
  std::filesystem::path resolved;                  // where the target is, links followed
  std::filesystem::path root;                      // the root it falls under
  UniqueFd folder;                    // the open folder holding the target; none when that folder is missing
  std::string name;                   // the target's name in `folder`
  std::optional<struct stat> target;  // what is there now; none when nothing is
  // ".git" or ".wendlebox" when the target is in one (or is one), or Git's
  // own settings: it may be read, never written.
  std::optional<std::string> protected_folder;
};

// The path to operate on, or why it is refused: every action's path comes
// through here. A control character anywhere is refused before the file
// system is touched, and so is the program's own state. With
// `create_parents` (a write), missing parent folders are created, only
// inside a root, and a path into Git's or the project's folders is refused
// before anything is made.
Result<SafePath> safe_path(const std::filesystem::path& base, const std::vector<std::filesystem::path>& roots, const std::string& requested,
                           bool create_parents);

// The target opened for reading. Only a regular file is opened, and never
// in a way that could block (a FIFO is refused, not waited on).
Result<UniqueFd> open_regular_file(const SafePath& path);

// The target opened as a folder, for listing.
Result<UniqueFd> open_folder(const SafePath& path);

// A file as an action read it: the same file (device and inode), size,
// modification time and content hash. What another program writes between
// the action's read and its write shows in one of them.
struct FileSeen {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  struct timespec modified {};
  Sha256 digest{};
};

// The file open as `fd`, read whole from its start for the hash.
Result<FileSeen> file_seen(int fd);
// The file open as `fd`, whose whole content was read as `content`.
Result<FileSeen> file_seen(int fd, std::string_view content);

inline constexpr std::string_view kChangedWhileEdited = "the file changed while it was being edited; read it again";

// Replaces the target with `content` through a new file beside it, keeping
// the old file's mode: a hard link to the old file is left as it was. A
// target in a .git or .wendlebox folder is refused. Every write of an
// action goes through here. With `seen`, the target must still be the file
// then read, checked again once the new file is ready, right before it
// takes the old one's place; otherwise nothing is replaced and the failure
// is kChangedWhileEdited. `before_check` runs just before that check.
Status replace_file(const SafePath& path, std::string_view content, const std::optional<FileSeen>& seen = {},
                    const std::function<void()>& before_check = {});

}  // namespace wendlebox
