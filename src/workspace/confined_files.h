// The one gate every file action's reads and writes go through: paths
// through `safe_path`, writes through the one confined write (the size
// limit, Git's and wendlebox's own folders refused, the race-free
// replacement). It knows nothing of actions, only of the folders they may
// reach, so the actions and the executor both stand on it.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/files.h"
#include "common/result.h"
#include "workspace/safe_path.h"

namespace wendlebox {

inline constexpr std::size_t kMaxWriteBytes = 1'000'000;

// The folders a session's actions may reach.
struct Workspace {
  const std::filesystem::path& base;  // the working folder: relative paths start here
  const std::vector<std::filesystem::path>& roots;
  // Runs, when set, between a read of a file for a change and the write
  // of it: a test stands there as another program writing the same file.
  const std::function<void()>& between_read_and_write;
};

// A regular file inside the allowed folders, opened for reading.
Result<UniqueFd> open_confined(const Workspace& workspace, const std::string& requested);

// At most `limit` bytes of a regular file inside the allowed folders.
Result<std::string> read_confined(const Workspace& workspace, const std::string& requested, std::size_t limit);

// A file read whole for a change, with what it was then.
struct ReadForChange {
  std::string content;
  FileSeen seen;
};

// At most `limit` bytes of a regular file inside the allowed folders, and,
// when that was all of it, what the file was as it was read.
Result<ReadForChange> read_for_change(const Workspace& workspace, const std::string& requested, std::size_t limit);

// Replaces (or creates) the file whole, as write_file does. An existing
// file is replaced only while it is still the one read: as `seen` (the
// read of an edit), else as it was when this write began.
Status write_confined(const Workspace& workspace, const std::string& requested, std::string_view content,
                      const std::optional<FileSeen>& seen = {});

}  // namespace wendlebox
