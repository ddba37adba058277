#include "workspace/confined_files.h"

#include <sys/stat.h>

namespace wendlebox {

Status write_confined(const Workspace& workspace, const std::string& requested, std::string_view content,
                      const std::optional<FileSeen>& seen) {
  if (content.size() > kMaxWriteBytes) return failure("File exceeds 1 MB");
  auto path = safe_path(workspace.base, workspace.roots, requested, true);
  if (!path) return std::unexpected(path.error());
  std::optional<FileSeen> expected = seen;
  if (!expected && path->target && S_ISREG(path->target->st_mode) && !path->protected_folder) {
    auto file = open_regular_file(*path);
    if (!file) return std::unexpected(file.error());
    auto now = file_seen(file->get());
    if (!now) return std::unexpected(now.error());
    expected = *now;
  }
  return replace_file(*path, content, expected, workspace.between_read_and_write);
}

Result<UniqueFd> open_confined(const Workspace& workspace, const std::string& requested) {
  auto path = safe_path(workspace.base, workspace.roots, requested, false);
  if (!path) return std::unexpected(path.error());
  return open_regular_file(*path);
}

Result<std::string> read_confined(const Workspace& workspace, const std::string& requested, std::size_t limit) {
  auto file = open_confined(workspace, requested);
  if (!file) return std::unexpected(file.error());
  return read_fd(file->get(), limit);
}

Result<ReadForChange> read_for_change(const Workspace& workspace, const std::string& requested, std::size_t limit) {
  auto file = open_confined(workspace, requested);
  if (!file) return std::unexpected(file.error());
  auto content = read_fd(file->get(), limit);
  if (!content) return std::unexpected(content.error());
  // Past the limit the caller refuses the file anyway.
  if (content->size() >= limit) return ReadForChange{.content = std::move(*content), .seen = {}};
  auto seen = file_seen(file->get(), *content);
  if (!seen) return std::unexpected(seen.error());
  return ReadForChange{.content = std::move(*content), .seen = *seen};
}

}  // namespace wendlebox
