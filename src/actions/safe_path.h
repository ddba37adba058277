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
#include <optional>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/result.h"

namespace fs = std::filesystem;

// The working folder first, then each stored extra folder that still
// resolves to a directory under its own key, once.
std::vector<fs::path> root_list(const fs::path& working_folder, const std::vector<std::string>& stored_folders);

struct SafePath {
  fs::path path;                      // the request as given, or joined to the working folder
  fs::path resolved;                  // where the target is, links followed
  fs::path root;                      // the root it falls under
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
Result<SafePath> safe_path(const fs::path& base, const std::vector<fs::path>& roots, const std::string& requested,
                           bool create_parents);

// The target opened for reading. Only a regular file is opened, and never
// in a way that could block (a FIFO is refused, not waited on).
Result<UniqueFd> open_regular_file(const SafePath& path);

// The target opened as a folder, for listing.
Result<UniqueFd> open_folder(const SafePath& path);

// Replaces the target with `content` through a new file beside it, keeping
// the old file's mode: a hard link to the old file is left as it was. A
// target in a .git or .wendlebox folder is refused. Every write of an
// action goes through here.
Status replace_file(const SafePath& path, std::string_view content);
