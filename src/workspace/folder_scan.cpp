#include "workspace/folder_scan.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "common/files.h"
#include "workspace/folder_walk.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

FileState state_of(const struct stat& info) {
  FileState state;
  if (S_ISREG(info.st_mode)) state.kind = FileState::Kind::File;
  else if (S_ISLNK(info.st_mode)) state.kind = FileState::Kind::Link;
  else if (S_ISDIR(info.st_mode)) state.kind = FileState::Kind::Folder;
  state.mode = info.st_mode & 07777;
  state.size = static_cast<std::uint64_t>(info.st_size);
  state.inode = static_cast<std::uint64_t>(info.st_ino);
  state.modified_ns = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
  state.changed_ns = static_cast<std::int64_t>(info.st_ctim.tv_sec) * 1'000'000'000 + info.st_ctim.tv_nsec;
  return state;
}

std::string link_at(int dir, const char* name) {
  char target[PATH_MAX];
  const ssize_t n = ::readlinkat(dir, name, target, sizeof target);
  return n < 0 ? std::string() : std::string(target, static_cast<std::size_t>(n));
}

std::optional<FileState> state_at(int dir, const char* name) {
  struct stat info;
  if (::fstatat(dir, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  FileState state = state_of(info);
  if (state.kind == FileState::Kind::Link) state.link = link_at(dir, name);
  return state;
}

bool left_out(const std::string& relative, std::string_view name) {
  return name == ".git" || relative == ".wendlebox";
}

}  // namespace

bool FileState::same_as(const FileState& other) const {
  if (kind != other.kind || mode != other.mode) return false;
  if (kind == Kind::Folder) return true;
  return size == other.size && inode == other.inode && modified_ns == other.modified_ns &&
         changed_ns == other.changed_ns && link == other.link;
}

bool same_state(const std::optional<FileState>& a, const std::optional<FileState>& b) {
  if (!a || !b) return !a && !b;
  return a->same_as(*b);
}

std::optional<FileState> file_state(const fs::path& path) { return state_at(AT_FDCWD, path.c_str()); }

FolderScan scan_folder(const fs::path& folder, std::size_t limit) {
  FolderScan scan;
  // Never through a link: a folder swapped for one is not looked into.
  UniqueFd top{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
  if (!top) return scan;
  const WalkRules rules{.skip = [](const WalkEntry& entry) { return left_out(entry.relative, entry.name); }};
  // A folder that cannot be read is passed over, as one that vanished.
  (void)walk_folder(std::move(top), rules, [&](const WalkEntry& entry) {
    if (scan.entries.size() >= limit) {
      scan.complete = false;
      return WalkStep::Stop;
    }
    std::optional<FileState> state = state_at(entry.dir, entry.name.data());
    if (!state) return WalkStep::Next;
    const bool folder = state->kind == FileState::Kind::Folder;
    scan.entries.emplace(entry.relative, std::move(*state));
    return folder ? WalkStep::Enter : WalkStep::Next;
  });
  return scan;
}

}  // namespace wendlebox
