#include "workspace/safe_path.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <deque>

#include "workspace/out_of_reach.h"
#include "common/folders.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

constexpr const char* kOutside = "Path is outside the working and allowed folders";
constexpr const char* kNotRegular = "Not a regular file (a FIFO, socket or device cannot be used)";
constexpr const char* kProgramState = "Wendlebox's own settings and data cannot be reached by actions";
constexpr const char* kControlCharacter = "Path cannot contain control characters";
constexpr int kMaxLinks = 40;

constexpr const char* kGitSettings = "Git's settings";

std::string not_writable(const std::string& folder) {
  if (folder == kGitSettings) return "Git's own settings cannot be written by actions: git runs the commands they name";
  return "Files inside a " + folder + " folder cannot be written";
}

// A control character in a name: the system call stops at a NUL, so a name
// compared whole here would not be the one the kernel opens, and the other
// controls have no place in a file name a reply should make.
bool has_control_character(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) return true;
    if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F &&
        static_cast<unsigned char>(text[i + 1]) >= 0x80)
      return true;  // U+0080 to U+009F
  }
  return false;
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

// What the walk knows of a folder it stands in, from the folders above.
struct Level {
  std::optional<std::string> guarded;  // inside this .git or .wendlebox folder of a root
  bool state = false;                  // inside the program's own folders
};

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
        if (auto allowed = may_create(step, steps); !allowed) return std::unexpected(allowed.error());
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
      levels_.push_back(level_of(step.name, &*info));
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
    levels_.assign(1, Level{});
    return dir_ ? Status{} : os_failure();
  }

  Status enter(const std::string& name) {
    UniqueFd next = open_here(dir_.get(), name, O_DIRECTORY);
    if (!next) return os_failure();
    dir_ = std::move(next);
    if (name == "..") {
      dir_path_ = dir_path_.parent_path();
      if (levels_.size() > 1) levels_.pop_back();
    } else {
      dir_path_ /= name;
    }
    return {};
  }

  // What `name` in the current folder is, from what holds it and what it is.
  Level level_of(const std::string& name, const struct stat* entry) const {
    Level level = levels_.back();
    if (!level.guarded && root_of(dir_path_, roots_)) level.guarded = protected_entry(dir_.get(), name, entry);
    level.state = level.state || program_state_.holds(dir_path_ / name, entry);
    if (!level.guarded && program_state_.git_settings(dir_.get(), dir_path_ / name, name, entry))
      level.guarded = kGitSettings;
    return level;
  }

  // What the missing folders ahead (`next`, then `rest` up to a ".." from
  // a link's target) and the target in them would be once made.
  Level level_of_missing(const Step& next, const std::deque<Step>& rest) const {
    const bool folds_case = folder_folds_case(dir_.get());  // new folders are made on this folder's file system
    Level level = levels_.back();
    fs::path place = dir_path_;
    for (std::size_t i = 0; i <= rest.size(); ++i) {
      const std::string& name = i == 0 ? next.name : rest[i - 1].name;
      if (name.empty() || name == ".") continue;
      if (name == "..") break;
      place /= name;
      if (!level.guarded) level.guarded = protected_name(name, folds_case);
      level.state = level.state || program_state_.holds(place, nullptr);
      // The first one would be made in the open folder, known by identity.
      const bool in_open_folder = place.parent_path() == dir_path_;
      if (!level.guarded && (in_open_folder ? program_state_.git_settings(dir_.get(), place, name, nullptr)
                                            : program_state_.git_settings(place)))
        level.guarded = kGitSettings;
    }
    return level;
  }

  // Everything a write would make is checked before the first folder is
  // made, so a refused write leaves nothing behind; and nothing is made
  // where the open folder is not where the walk thinks it stands.
  Status may_create(const Step& next, const std::deque<Step>& rest) const {
    if (auto now = kernel_path(dir_.get()); now && !root_of(*now, roots_)) return failure(kOutside);
    const Level level = level_of_missing(next, rest);
    if (level.state) return failure(kProgramState);
    if (level.guarded) return failure(not_writable(*level.guarded));
    return {};
  }

  Result<SafePath> found(SafePath result, const std::string& name, std::optional<struct stat> info) {
    result.resolved = dir_path_ / name;
    const fs::path* root = root_of(result.resolved, roots_);
    if (!root) return failure(kOutside);
    if (auto now = kernel_path(dir_.get()); now && !root_of(*now, roots_) && !root_of(*now / name, roots_))
      return failure(kOutside);
    const Level level = level_of(name, info ? &*info : nullptr);
    if (level.state) return failure(kProgramState);
    if (level.guarded && create_parents_) return failure(not_writable(*level.guarded));
    result.root = *root;
    result.folder = std::move(dir_);
    result.name = name;
    result.target = info;
    result.protected_folder = level.guarded;
    return result;
  }

  // A parent folder is missing: there is nothing to open, and the action
  // that tries reports the missing file as it would for any path.
  Result<SafePath> missing_folder(SafePath result, const Step& step, const std::deque<Step>& rest) {
    result.resolved = dir_path_ / step.name;
    for (const Step& s : rest) result.resolved /= s.name;
    const Level level = level_of_missing(step, rest);
    if (level.state) return failure(kProgramState);
    result.root = *root_of(dir_path_, roots_);
    result.protected_folder = level.guarded;
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
  const ProgramState program_state_;
  UniqueFd dir_;
  fs::path dir_path_;
  std::vector<Level> levels_;  // one per folder from "/" to the current one
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
  if (has_control_character(requested)) return failure(kControlCharacter);
  const fs::path request(requested);
  for (const fs::path& part : request)
    if (part == "..") return failure("Path cannot contain '..'");
  SafePath result;
  result.path = request.is_absolute() ? request : base / request;
  return Walk(roots, create_parents).resolve(std::move(result));
}

Result<UniqueFd> open_regular_file(const SafePath& path) { return open_checked(path, false, O_RDONLY | O_NONBLOCK); }

Result<UniqueFd> open_folder(const SafePath& path) { return open_checked(path, true, O_RDONLY | O_DIRECTORY); }

namespace {

bool same_version(const FileSeen& seen, const struct stat& info) {
  return info.st_dev == seen.device && info.st_ino == seen.inode && info.st_size == seen.size &&
         info.st_mtim.tv_sec == seen.modified.tv_sec && info.st_mtim.tv_nsec == seen.modified.tv_nsec;
}

FileSeen seen_from(const struct stat& info, const Sha256& digest) {
  return FileSeen{.device = info.st_dev, .inode = info.st_ino, .size = info.st_size, .modified = info.st_mtim,
                  .digest = digest};
}

// Whether the target in its folder is still the file as it was seen.
Status still_as_seen(const SafePath& path, const FileSeen& seen) {
  UniqueFd file{::openat(path.folder.get(), path.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
  struct stat info;
  if (!file || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || !same_version(seen, info))
    return failure(std::string(kChangedWhileEdited));
  auto now = file_seen(file.get());
  if (!now || now->digest != seen.digest || !same_version(*now, info)) return failure(std::string(kChangedWhileEdited));
  return {};
}

}  // namespace

Result<FileSeen> file_seen(int fd) {
  struct stat info;
  if (::fstat(fd, &info) != 0) return os_failure();
  Sha256Hasher hasher;
  std::string buffer(1 << 16, '\0');
  for (off_t offset = 0;;) {
    const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return os_failure();
    if (n == 0) break;
    hasher.add(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    offset += n;
  }
  return seen_from(info, hasher.finish());
}

Result<FileSeen> file_seen(int fd, std::string_view content) {
  struct stat info;
  if (::fstat(fd, &info) != 0) return os_failure();
  // Changed while it was read: what was read is no version of the file.
  if (static_cast<std::uint64_t>(info.st_size) != content.size()) return failure(std::string(kChangedWhileEdited));
  return seen_from(info, sha256_of(content));
}

Status replace_file(const SafePath& path, std::string_view content, const std::optional<FileSeen>& seen,
                    const std::function<void()>& before_check) {
  if (!path.folder) return os_failure(ENOENT);
  if (path.protected_folder) return failure(not_writable(*path.protected_folder));
  std::optional<mode_t> mode;
  if (path.target) {
    if (auto kind = check_kind(path, false); !kind) return kind;
    mode = path.target->st_mode & 07777;
  }
  if (!seen) return replace_at(path.folder.get(), path.name, content, mode);
  // Nothing can make the check and the rename one step; checking last
  // leaves the smallest window for a change to go unseen.
  return replace_at(path.folder.get(), path.name, content, mode, [&]() -> Status {
    if (before_check) before_check();
    return still_as_seen(path, *seen);
  });
}

}  // namespace wendlebox
