#include "actions/safe_path.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <deque>

#include "common/folders.h"

namespace {

constexpr const char* kOutside = "Path is outside the working and allowed folders";
constexpr const char* kNotRegular = "Not a regular file (a FIFO, socket or device cannot be used)";
constexpr int kMaxLinks = 40;

bool is_inside(const fs::path& path, const fs::path& root) {
  auto p = path.begin();
  for (auto r = root.begin(); r != root.end(); ++r, ++p) {
    if (r->empty()) continue;  // a trailing separator of the root
    if (p == path.end() || *p != *r) return false;
  }
  return true;
}

const fs::path* root_of(const fs::path& path, const std::vector<fs::path>& roots) {
  auto found = std::ranges::find_if(roots, [&](const fs::path& root) { return is_inside(path, root); });
  return found == roots.end() ? nullptr : &*found;
}

// One component still to walk; `from_link` when it came from a link's target.
struct Step {
  std::string name;
  bool from_link;
};

void push_front(std::deque<Step>& steps, const fs::path& path, bool from_link) {
  std::vector<Step> parts;
  for (const fs::path& part : path)
    if (part != "/") parts.push_back({part.string(), from_link});
  steps.insert(steps.begin(), parts.begin(), parts.end());
}

bool only_dots_left(const std::deque<Step>& steps) {
  return std::ranges::all_of(steps, [](const Step& s) { return s.name.empty() || s.name == "."; });
}

// The component opened as itself: a link gives a handle on the link.
UniqueFd open_here(int dir, const std::string& name, int flags = 0) {
  return UniqueFd{::openat(dir, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC | flags)};
}

Result<struct stat> stat_of(int fd) {
  struct stat info;
  if (::fstat(fd, &info) != 0) return os_failure();
  return info;
}

Result<fs::path> link_target(int link) {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlinkat(link, "", buffer, sizeof buffer);
  if (n < 0) return os_failure();
  return fs::path(std::string(buffer, static_cast<std::size_t>(n)));
}

// Where an open folder is now, as the kernel sees it (a folder renamed
// while the walk ran shows up here); nullopt where /proc is unavailable.
std::optional<fs::path> kernel_path(int fd) {
  char buffer[PATH_MAX];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
  if (n < 0) return std::nullopt;
  return fs::path(std::string(buffer, static_cast<std::size_t>(n)));
}

class Walk {
 public:
  Walk(const std::vector<fs::path>& roots, bool create_parents) : roots_(roots), create_parents_(create_parents) {}

  Result<SafePath> resolve(SafePath result) {
    if (auto started = enter_root(); !started) return std::unexpected(started.error());
    std::deque<Step> steps;
    push_front(steps, result.path, false);
    while (!steps.empty()) {
      const Step step = steps.front();
      steps.pop_front();
      if (step.name.empty() || step.name == ".") continue;
      if (step.name == "..") {
        if (auto up = enter(".."); !up) return std::unexpected(up.error());
        continue;
      }
      const bool last = only_dots_left(steps);
      UniqueFd here = open_here(dir_.get(), step.name);
      if (!here) {
        if (errno != ENOENT) return os_failure();
        // A link that leads nowhere is an error of its own, as a file that is not there.
        if (step.from_link) return os_failure(ENOENT);
        if (!root_of(dir_path_, roots_)) return failure(kOutside);
        if (last) return found(std::move(result), step.name, std::nullopt);
        if (!create_parents_) return missing_folder(std::move(result), step, steps);
        if (::mkdirat(dir_.get(), step.name.c_str(), 0777) != 0 && errno != EEXIST) return os_failure();
        steps.push_front(step);
        continue;
      }
      auto info = stat_of(here.get());
      if (!info) return std::unexpected(info.error());
      if (S_ISLNK(info->st_mode)) {
        if (++links_ > kMaxLinks) return os_failure(ELOOP);
        auto target = link_target(here.get());
        if (!target) return std::unexpected(target.error());
        if (target->is_absolute())
          if (auto restarted = enter_root(); !restarted) return std::unexpected(restarted.error());
        push_front(steps, *target, true);
        continue;
      }
      if (last) return found(std::move(result), step.name, *info);
      if (!S_ISDIR(info->st_mode)) return os_failure(ENOTDIR);
      dir_ = std::move(here);
      dir_path_ /= step.name;
    }
    // The request named a folder reached by "." or "..": it is the target.
    return folder_itself(std::move(result));
  }

 private:
  Status enter_root() {
    dir_ = UniqueFd{::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC)};
    dir_path_ = "/";
    return dir_ ? Status{} : os_failure();
  }

  Status enter(const std::string& name) {
    UniqueFd next = open_here(dir_.get(), name, O_DIRECTORY);
    if (!next) return os_failure();
    dir_ = std::move(next);
    dir_path_ = name == ".." ? dir_path_.parent_path() : dir_path_ / name;
    return {};
  }

  Result<SafePath> found(SafePath result, const std::string& name, std::optional<struct stat> info) {
    result.resolved = dir_path_ / name;
    const fs::path* root = root_of(result.resolved, roots_);
    if (!root) return failure(kOutside);
    if (auto now = kernel_path(dir_.get()); now && !root_of(*now, roots_) && !root_of(*now / name, roots_))
      return failure(kOutside);
    result.root = *root;
    result.folder = std::move(dir_);
    result.name = name;
    result.target = info;
    return result;
  }

  // A parent folder is missing: there is nothing to open, and the action
  // that tries reports the missing file as it would for any path.
  Result<SafePath> missing_folder(SafePath result, const Step& step, const std::deque<Step>& rest) {
    result.resolved = dir_path_ / step.name;
    for (const Step& s : rest) result.resolved /= s.name;
    result.root = *root_of(dir_path_, roots_);
    return result;
  }

  Result<SafePath> folder_itself(SafePath result) {
    if (dir_path_ == "/") return failure(kOutside);
    const std::string name = dir_path_.filename().string();
    auto info = stat_of(dir_.get());
    if (!info) return std::unexpected(info.error());
    if (auto up = enter(".."); !up) return std::unexpected(up.error());
    return found(std::move(result), name, *info);
  }

  const std::vector<fs::path>& roots_;
  const bool create_parents_;
  UniqueFd dir_;
  fs::path dir_path_;
  int links_ = 0;
};

bool same_file(int fd, const struct stat& expected) {
  struct stat info;
  return ::fstat(fd, &info) == 0 && info.st_dev == expected.st_dev && info.st_ino == expected.st_ino;
}

// What the target must be before it is opened: there, and of the kind asked for.
Status check_kind(const SafePath& path, bool folder) {
  if (!path.folder || !path.target) return os_failure(ENOENT);
  const mode_t mode = path.target->st_mode;
  if (folder) return S_ISDIR(mode) ? Status{} : os_failure(ENOTDIR);
  if (S_ISDIR(mode)) return os_failure(EISDIR);
  if (!S_ISREG(mode)) return failure(kNotRegular);
  return {};
}

Result<UniqueFd> open_checked(const SafePath& path, bool folder, int flags) {
  if (auto kind = check_kind(path, folder); !kind) return std::unexpected(kind.error());
  UniqueFd fd{::openat(path.folder.get(), path.name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC)};
  if (!fd) return os_failure();
  // Something else may have been put in its place since the walk.
  if (!same_file(fd.get(), *path.target)) return failure("The file changed while it was being opened; try again");
  return fd;
}

}  // namespace

std::vector<fs::path> root_list(const fs::path& working_folder, const std::vector<std::string>& stored_folders) {
  std::vector<fs::path> roots{working_folder};
  for (const std::string& stored : stored_folders) {
    auto canonical = canonical_path(stored);
    if (!canonical || !is_dir(*canonical)) continue;
    // A stored folder that now resolves elsewhere (through a link) is not
    // what the user allowed.
    const std::string key = folder_key(*canonical);
    if (key != folder_key(stored)) continue;
    if (std::ranges::any_of(roots, [&](const fs::path& root) { return folder_key(root) == key; })) continue;
    roots.push_back(*canonical);
  }
  return roots;
}

Result<SafePath> safe_path(const fs::path& base, const std::vector<fs::path>& roots, const std::string& requested,
                           bool create_parents) {
  const fs::path request(requested);
  for (const fs::path& part : request)
    if (part == "..") return failure("Path cannot contain '..'");
  SafePath result;
  result.path = request.is_absolute() ? request : base / request;
  return Walk(roots, create_parents).resolve(std::move(result));
}

Result<UniqueFd> open_regular_file(const SafePath& path) { return open_checked(path, false, O_RDONLY | O_NONBLOCK); }

Result<UniqueFd> open_folder(const SafePath& path) { return open_checked(path, true, O_RDONLY | O_DIRECTORY); }

Status replace_file(const SafePath& path, std::string_view content) {
  if (!path.folder) return os_failure(ENOENT);
  std::optional<mode_t> mode;
  if (path.target) {
    if (auto kind = check_kind(path, false); !kind) return kind;
    mode = path.target->st_mode & 07777;
  }
  return replace_at(path.folder.get(), path.name, content, mode);
}
