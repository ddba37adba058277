// What every file action shares, so that each one passes the same gate:
// reads and writes through the workspace's confined ones (see
// workspace/confined_files.h), with the folders the action may reach, and
// the one-line progress each prints.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "actions/executor.h"
#include "common/files.h"
#include "i18n/i18n.h"
#include "workspace/confined_files.h"

namespace wendlebox {

inline constexpr std::size_t kMaxReadBytes = 250'000;

// The folders the action may reach, as the workspace's gate takes them.
inline Workspace workspace_of(const ExecutionContext& context) {
  return Workspace{.base = context.base, .roots = context.roots,
                   .between_read_and_write = context.between_read_and_write};
}

inline Result<UniqueFd> open_confined(const ExecutionContext& context, const std::string& requested) {
  return open_confined(workspace_of(context), requested);
}

inline Result<std::string> read_confined(const ExecutionContext& context, const std::string& requested,
                                         std::size_t limit) {
  return read_confined(workspace_of(context), requested, limit);
}

inline Result<ReadForChange> read_for_change(const ExecutionContext& context, const std::string& requested,
                                             std::size_t limit) {
  return read_for_change(workspace_of(context), requested, limit);
}

inline Status write_confined(const ExecutionContext& context, const std::string& requested, std::string_view content,
                             const std::optional<FileSeen>& seen = {}) {
  return write_confined(workspace_of(context), requested, content, seen);
}

// The line an action prints: `label` in yellow, then `detail`.
void progress(const Printer& out, std::string_view label, std::string_view detail);

}  // namespace wendlebox
