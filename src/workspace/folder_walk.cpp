#include "workspace/folder_walk.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <utility>
#include <vector>

namespace wendlebox {

Result<FolderReader> FolderReader::open(UniqueFd folder) {
  DIR* dir = ::fdopendir(folder.get());
  if (dir == nullptr) return os_failure();  // `folder` still owns, and closes, the descriptor
  folder.release();
  return FolderReader(dir);
}

FolderReader::FolderReader(FolderReader&& other) noexcept : dir_(std::exchange(other.dir_, nullptr)) {}

FolderReader::~FolderReader() {
  if (dir_ != nullptr) ::closedir(dir_);
}

int FolderReader::fd() const { return ::dirfd(dir_); }

const dirent* FolderReader::next() {
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir_);
    if (entry == nullptr) return nullptr;
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") return entry;
  }
}

namespace {

using Kind = WalkEntry::Kind;

Kind kind_of_mode(mode_t mode) {
  return S_ISREG(mode) ? Kind::File : S_ISDIR(mode) ? Kind::Folder : S_ISLNK(mode) ? Kind::Link : Kind::Other;
}

// The kind as the listing tells it; only a file system that does not
// costs a look at the entry itself.
std::pair<Kind, int> kind_of(int dir, const dirent& entry) {
  switch (entry.d_type) {
    case DT_REG: return {Kind::File, 0};
    case DT_DIR: return {Kind::Folder, 0};
    case DT_LNK: return {Kind::Link, 0};
    case DT_UNKNOWN: break;
    default: return {Kind::Other, 0};
  }
  struct stat info;
  if (::fstatat(dir, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) return {Kind::Gone, errno};
  return {kind_of_mode(info.st_mode), 0};
}

std::string below(const std::string& relative, std::string_view name) {
  return relative.empty() ? std::string(name) : relative + "/" + std::string(name);
}

UniqueFd open_below(int dir, const char* name) {
  return UniqueFd{::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
}

// `relative` below `top`, no part of the way through a link.
UniqueFd open_beneath(int top, const std::string& relative) {
  open_how how{};
  how.flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  const long fd = ::syscall(SYS_openat2, top, relative.c_str(), &how, sizeof how);
  if (fd >= 0 || errno != ENOSYS) return UniqueFd{static_cast<int>(fd)};
  // A kernel before openat2: one step at a time.
  UniqueFd at;
  std::size_t from = 0;
  for (;;) {
    const std::size_t slash = relative.find('/', from);
    const std::string part = relative.substr(from, slash - from);
    at = open_below(at ? at.get() : top, part.c_str());
    if (!at || slash == std::string::npos) return at;
    from = slash + 1;
  }
}

class Walk {
 public:
  Walk(const WalkRules& rules, const std::function<WalkStep(const WalkEntry&)>& visit) : rules_(rules), visit_(visit) {}

  // Reads the folder at `relative`; false once the walk is to stop.
  // `failed`, when given, gets why the folder could not be read.
  bool folder(UniqueFd fd, const std::string& relative, int depth, Status* failed) {
    if (depth > rules_.max_depth) return true;
    if (rules_.opened && !rules_.opened(fd.get(), relative, depth)) return true;
    auto reader = FolderReader::open(std::move(fd));
    if (!reader) {
      if (failed != nullptr) *failed = std::unexpected(reader.error());
      return true;
    }
    return rules_.order == WalkRules::Order::BreadthFirst ? as_read(*reader, relative, depth, failed)
                                                          : sorted(*reader, relative, depth, failed);
  }

  // The folders put off by a breadth-first walk. They are opened again
  // from the top when their turn comes rather than held open (a wide tree
  // would run out of descriptors), still never through a link.
  void queued(int top) {
    while (!queue_.empty()) {
      auto [relative, depth] = std::move(queue_.front());
      queue_.pop_front();
      UniqueFd opened = open_beneath(top, relative);
      if (opened && !folder(std::move(opened), relative, depth, nullptr)) return;
    }
  }

 private:
  bool as_read(FolderReader& reader, const std::string& relative, int depth, Status* failed) {
    const int dir = reader.fd();
    while (const dirent* entry = reader.next()) {
      const auto [kind, error] = kind_of(dir, *entry);
      const std::string child = below(relative, entry->d_name);
      const WalkEntry seen{dir, entry->d_name, child, kind, depth, error};
      if (rules_.skip && rules_.skip(seen)) continue;
      const WalkStep step = visit_(seen);
      if (step == WalkStep::Stop) return false;
      // Opened now, through the folder holding it; read once the shallower ones are.
      if (step == WalkStep::Enter && depth + 1 <= rules_.max_depth)
        queue_.push_back({child, depth + 1});
    }
    if (errno != 0 && failed != nullptr) *failed = os_failure();
    return true;
  }

  bool sorted(FolderReader& reader, const std::string& relative, int depth, Status* failed) {
    const int dir = reader.fd();
    std::vector<std::pair<std::string, std::pair<Kind, int>>> entries;
    while (const dirent* entry = reader.next()) {
      const auto found = kind_of(dir, *entry);
      const std::string child = below(relative, entry->d_name);
      if (rules_.skip && rules_.skip(WalkEntry{dir, entry->d_name, child, found.first, depth, found.second})) continue;
      entries.emplace_back(entry->d_name, found);
    }
    if (errno != 0 && failed != nullptr) *failed = os_failure();
    std::ranges::sort(entries, {}, &decltype(entries)::value_type::first);
    for (const auto& [name, found] : entries) {
      const std::string child = below(relative, name);
      const WalkStep step = visit_(WalkEntry{dir, name, child, found.first, depth, found.second});
      if (step == WalkStep::Stop) return false;
      if (step == WalkStep::Enter) {
        UniqueFd sub = open_below(dir, name.c_str());
        if (sub && !folder(std::move(sub), child, depth + 1, nullptr)) return false;
      }
    }
    return true;
  }

  struct Queued {
    std::string relative;
    int depth;
  };
  const WalkRules& rules_;
  const std::function<WalkStep(const WalkEntry&)>& visit_;
  std::deque<Queued> queue_;
};

}  // namespace

Status walk_folder(UniqueFd top, const WalkRules& rules, const std::function<WalkStep(const WalkEntry&)>& visit) {
  Walk walk(rules, visit);
  // Kept for the folders put off till later, which are opened from it.
  const UniqueFd kept{rules.order == WalkRules::Order::BreadthFirst && rules.max_depth > 0 ? ::fcntl(top.get(), F_DUPFD_CLOEXEC, 0) : -1};
  Status failed;
  if (walk.folder(std::move(top), "", 0, &failed) && failed && kept) walk.queued(kept.get());
  return failed;
}

}  // namespace wendlebox
