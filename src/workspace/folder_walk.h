// One walk over a folder tree for everything that looks through the
// user's folder (a listing, a search, the look that tells changes). What
// each leaves out, how deep it goes and in which order are its own rules,
// given as parameters; how a folder is opened and read is written once.
#pragma once

#include <dirent.h>

#include <climits>
#include <functional>
#include <string>
#include <string_view>

#include "common/files.h"
#include "common/result.h"

namespace wendlebox {

// A folder being read, owning its descriptor from the moment it is handed
// over: closed with the reader, or at once when it cannot be read.
class FolderReader {
 public:
  static Result<FolderReader> open(UniqueFd folder);
  FolderReader(FolderReader&& other) noexcept;
  FolderReader& operator=(FolderReader&&) = delete;
  ~FolderReader();
  int fd() const;
  // The next entry, "." and ".." left out; nullptr at the end, with errno
  // set when reading failed.
  const dirent* next();

 private:
  explicit FolderReader(DIR* dir) : dir_(dir) {}
  DIR* dir_;
};

struct WalkEntry {
  enum class Kind { File, Folder, Link, Other, Gone };  // Gone: vanished before its kind was known
  int dir;                      // the open folder holding it
  std::string_view name;       // ends in a NUL, for calls taking a C string
  const std::string& relative;  // below the top, "/"-separated
  Kind kind;
  int depth;                    // 0 for what the top folder holds
  int error;                    // errno when Gone
};

enum class WalkStep { Next, Enter, Stop };  // Enter only means something for a folder

struct WalkRules {
  enum class Order {
    BreadthFirst,     // entries as the folder gives them, shallow ones first
    DepthFirstSorted  // each folder's entries by name, a folder's content right after it
  };
  Order order = Order::BreadthFirst;
  int max_depth = INT_MAX;  // the deepest folder read; the top is 0
  // Entries never handed on, decided while the folder is read.
  std::function<bool(const WalkEntry&)> skip{};
  // Each folder once opened (the top one too), before it is read; false
  // leaves it unread. A folder is read in full right after this.
  std::function<bool(int fd, const std::string& relative, int depth)> opened{};
};

// Walks the tree below `top`, handing each entry to `visit`. Folders are
// entered through the folder holding them and never through a link, so a
// folder swapped for a link while the walk runs is not looked into. Fails
// only when the top folder itself cannot be read; a folder below that
// cannot be opened or read is passed over.
Status walk_folder(UniqueFd top, const WalkRules& rules, const std::function<WalkStep(const WalkEntry&)>& visit);

}  // namespace wendlebox
