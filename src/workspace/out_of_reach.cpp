#include "workspace/out_of_reach.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>

#include <algorithm>
#include <array>

#include "common/files.h"
#include "common/folders.h"
#include "git/git_settings.h"
#include "i18n/i18n.h"
#include "workspace/messages.h"
#include "state/app_dirs.h"

namespace wendlebox {

namespace fs = std::filesystem;

using namespace messages::workspace;

namespace {

constexpr std::array<std::string_view, 2> kProtectedNames{".git", ".wendlebox"};
constexpr int kMaxLinkHops = 40;

// Code points that case-insensitive file systems have been known to skip
// when they compare names (Git refuses them around ".git" for that reason):
// zero-width joiners and marks, bidirectional controls, the byte-order mark.
std::size_t ignorable_length(std::string_view rest) {
  if (rest.size() < 3) return 0;
  const auto b0 = static_cast<unsigned char>(rest[0]), b1 = static_cast<unsigned char>(rest[1]),
             b2 = static_cast<unsigned char>(rest[2]);
  const bool ignorable = (b0 == 0xE2 && b1 == 0x80 && ((b2 >= 0x8C && b2 <= 0x8F) || (b2 >= 0xAA && b2 <= 0xAE))) ||
                         (b0 == 0xE2 && b1 == 0x81 && b2 >= 0xAA && b2 <= 0xAF) ||
                         (b0 == 0xEF && b1 == 0xBB && b2 == 0xBF);
  return ignorable ? 3 : 0;
}

std::string folded(std::string_view name) {
  // FAT drops dots at the end of a name, and Windows (behind SMB and WSL's
  // 9p) spaces too: ".git." made there is ".git".
  while (name.size() > 1 && (name.back() == '.' || name.back() == ' ') && name != "..") name.remove_suffix(1);
  std::string out;
  for (std::size_t i = 0; i < name.size();) {
    if (const std::size_t skip = ignorable_length(name.substr(i))) {
      i += skip;
      continue;
    }
    const char c = name[i++];
    out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return out;
}

// File systems that compare names regardless of case, always or as mounted
// (9p is how WSL reaches Windows folders; FUSE serves many that fold).
constexpr std::array<unsigned long, 11> kFoldingFileSystems{
    MSDOS_SUPER_MAGIC, EXFAT_SUPER_MAGIC, 0x5346544eUL /* ntfs */, 0x7366746eUL /* ntfs3 */, 0x4244UL /* hfs */,
    0x482bUL /* hfs+ */, SMB_SUPER_MAGIC, CIFS_SUPER_MAGIC, SMB2_SUPER_MAGIC, V9FS_MAGIC, FUSE_SUPER_MAGIC};

bool same_entry(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

fs::path canonical_or_absolute(const fs::path& folder) {
  std::error_code error;
  fs::path canonical = fs::weakly_canonical(folder, error);
  if (!error) return canonical;
  return fs::absolute(folder, error).lexically_normal();
}

// Where the kernel takes `path` (absolute), links followed even where they
// lead nowhere yet: a folder a write makes at a dangling link's target is
// the very one git reaches through the link. What is missing is kept as
// written, as it will be once made.
fs::path as_the_kernel_reaches(const fs::path& path) {
  std::vector<std::string> rest;  // still to walk, the next one last
  for (const fs::path& part : path) rest.insert(rest.begin(), part.string());
  fs::path at = "/";
  for (int hops = 0; !rest.empty();) {
    const std::string name = std::move(rest.back());
    rest.pop_back();
    if (name.empty() || name == "." || name == "/") continue;
    if (name == "..") {
      at = at.parent_path();
      continue;
    }
    const fs::path next = at / name;
    struct stat info;
    char target[PATH_MAX];
    ssize_t n = 0;
    if (hops < kMaxLinkHops && ::lstat(next.c_str(), &info) == 0 && S_ISLNK(info.st_mode) &&
        (n = ::readlink(next.c_str(), target, sizeof target)) > 0) {
      ++hops;
      const fs::path leads_to(std::string(target, static_cast<std::size_t>(n)));
      if (leads_to.is_absolute()) at = "/";
      std::vector<std::string> parts;
      for (const fs::path& part : leads_to) parts.push_back(part.string());
      rest.insert(rest.end(), parts.rbegin(), parts.rend());
      continue;
    }
    at = next;
  }
  return at;
}

}  // namespace

std::optional<std::string> protected_name(std::string_view name, bool folds_case) {
  const std::string compared = folds_case ? folded(name) : std::string(name);
  for (std::string_view guarded : kProtectedNames)
    if (compared == guarded) return std::string(guarded);
  return std::nullopt;
}

bool folder_folds_case(int folder) {
  struct statfs mounted;
  if (::fstatfs(folder, &mounted) == 0) {
    const auto type = static_cast<unsigned long>(mounted.f_type);
    if (std::ranges::find(kFoldingFileSystems, type) != kFoldingFileSystems.end()) return true;
  }
  // The case-folding flag is read through a real open of the folder.
  UniqueFd readable{::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  int flags = 0;
  return readable && ::ioctl(readable.get(), FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL) != 0;
}

std::optional<std::string> protected_entry(int folder, const std::string& name, const struct stat* entry) {
  if (auto exact = protected_name(name, false)) return exact;
  if (auto similar = protected_name(name, true); similar && folder_folds_case(folder)) return similar;
  // Whatever else the file system takes for the same name (short names,
  // other normalisations) leads to the very entry.
  if (entry)
    for (std::string_view guarded : kProtectedNames) {
      struct stat there;
      if (::fstatat(folder, std::string(guarded).c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 && same_entry(there, *entry))
        return std::string(guarded);
    }
  return std::nullopt;
}

ProgramState::ProgramState(const EnvLookup& env) {
  for (const fs::path& folder : {app_dir(env), data_dir(env)}) {
    folders_.push_back(canonical_or_absolute(folder));
    struct stat info;
    if (::stat(folder.c_str(), &info) == 0) identities_.emplace_back(info.st_dev, info.st_ino);
  }
  if (auto runtime = env("XDG_RUNTIME_DIR"); runtime && fs::path(*runtime).is_absolute())
    runtime_ = canonical_or_absolute(*runtime);
  add_git_spots(app_dir(env).parent_path() / "git", true);
  for (const GitSettingsPlace& place : fixed_git_settings(env)) add_git_spots(place.path, place.folder);
  for (const GitSettingsPlace& place : GitSettingsRecord::process().places()) add_git_spots(place.path, place.folder);
}

void ProgramState::add_git_spots(const fs::path& place, bool folder) {
  fs::path next = place;
  for (int hop = 0; hop < kMaxLinkHops && next.is_absolute() && next.has_filename(); ++hop) {
    GitSpot spot;
    spot.path = as_the_kernel_reaches(next.parent_path()) / next.filename();
    struct stat info;
    if (::stat(spot.path.parent_path().c_str(), &info) == 0) spot.parent = {info.st_dev, info.st_ino};
    const bool is_link = ::lstat(spot.path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
    if (::lstat(spot.path.c_str(), &info) == 0) spot.identity = {info.st_dev, info.st_ino};
    spot.folder = folder && !is_link;
    git_spots_.push_back(spot);
    if (!is_link) return;
    // Git follows the link: where it leads is read too, there or not yet.
    char target[PATH_MAX];
    const ssize_t n = ::readlink(spot.path.c_str(), target, sizeof target);
    if (n <= 0) return;
    const fs::path leads_to(std::string(target, static_cast<std::size_t>(n)));
    next = leads_to.is_absolute() ? leads_to : spot.path.parent_path() / leads_to;
  }
}

bool ProgramState::git_settings(const fs::path& path) const {
  return std::ranges::any_of(git_spots_, [&](const GitSpot& spot) {
    return spot.folder ? is_inside(path, spot.path) : path == spot.path;
  });
}

bool ProgramState::git_settings(int folder, const fs::path& path, const std::string& name,
                                const struct stat* entry) const {
  if (git_settings(path)) return true;
  struct stat here;
  const bool known_here = ::fstat(folder, &here) == 0;
  return std::ranges::any_of(git_spots_, [&](const GitSpot& spot) {
    if (entry && spot.identity && spot.identity->first == entry->st_dev && spot.identity->second == entry->st_ino)
      return true;
    if (!known_here || !spot.parent || spot.parent->first != here.st_dev || spot.parent->second != here.st_ino)
      return false;
    const std::string spot_name = spot.path.filename().string();
    return spot_name == name || (folded(spot_name) == folded(name) && folder_folds_case(folder));
  });
}

bool ProgramState::holds(const fs::path& path, const struct stat* entry) const {
  if (std::ranges::any_of(folders_, [&](const fs::path& folder) { return is_inside(path, folder); })) return true;
  if (entry && std::ranges::any_of(identities_, [&](const auto& id) {
        return entry->st_dev == id.first && entry->st_ino == id.second;
      }))
    return true;
  // Forwarding pages hold the session's key; they sit in the runtime
  // folder, or in a snap browser's folder there.
  if (!runtime_ || !is_inside(path, *runtime_)) return false;
  const fs::path below = path.lexically_relative(*runtime_);
  return std::ranges::any_of(below, [](const fs::path& part) { return part.string().starts_with("wendlebox"); });
}

bool ProgramState::inside(const fs::path& folder) const {
  return std::ranges::any_of(folders_, [&](const fs::path& own) { return is_inside(own, folder); });
}

std::optional<std::string> broad_reach_notice(const std::vector<fs::path>& roots, const EnvLookup& env) {
  if (auto home = env("HOME"); home && fs::path(*home).is_absolute()) {
    const fs::path home_folder = canonical_or_absolute(*home);
    if (std::ranges::any_of(roots, [&](const fs::path& root) { return is_inside(home_folder, root); }))
      return std::string(i18n::tr(kHomeReached));
  }
  const ProgramState state(env);
  if (std::ranges::any_of(roots, [&](const fs::path& root) { return state.inside(root); }))
    return std::string(i18n::tr(kStateReached));
  return std::nullopt;
}

}  // namespace wendlebox
