// What every file action shares, so that each one passes the same gate:
// paths through `safe_path`, writes through the one confined write (the
// size limit, Git's and wendlebox's own folders refused, the race-free
// replacement), and the one-line progress each prints.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "actions/executor.h"
#include "actions/safe_path.h"
#include "common/files.h"
#include "i18n/i18n.h"

inline constexpr std::size_t kMaxWriteBytes = 1'000'000;
inline constexpr std::size_t kMaxReadBytes = 250'000;

// A regular file inside the allowed folders, opened for reading.
Result<UniqueFd> open_confined(const ExecutionContext& context, const std::string& requested);

// At most `limit` bytes of a regular file inside the allowed folders.
Result<std::string> read_confined(const ExecutionContext& context, const std::string& requested, std::size_t limit);

// A file read whole for a change, with what it was then.
struct ReadForChange {
  std::string content;
  FileSeen seen;
};

// At most `limit` bytes of a regular file inside the allowed folders, and,
// when that was all of it, what the file was as it was read.
Result<ReadForChange> read_for_change(const ExecutionContext& context, const std::string& requested, std::size_t limit);

// Replaces (or creates) the file whole, as write_file does. An existing
// file is replaced only while it is still the one read: as `seen` (the
// read of an edit), else as it was when this write began.
Status write_confined(const ExecutionContext& context, const std::string& requested, std::string_view content,
                      const std::optional<FileSeen>& seen = {});

// The line an action prints: `label` in yellow, then `detail`.
void progress(const Printer& out, std::string_view label, std::string_view detail);
