#include "git/left_out.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <array>
#include <map>

#include "common/files.h"
#include "common/text.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

// Another user as the permission bits see them: a member of the owner's
// group, or anyone else.
enum class Others { Group, World };
constexpr std::array<Others, 2> kOthers{Others::Group, Others::World};

// Whether such a user may read (`search` false) or pass through (`search`
// true) what `info` describes. What belongs to someone else is judged by
// its bits for everyone, as a user of the owner's group is no member of
// that owner's. The group user is a member of `group`, the one that can
// read the objects: the group bits of what belongs to another group speak
// of other users, and such a member is sure to get in only when both the
// group and everyone may (a file's group bits say nothing of .git's group).
bool open_to(const struct stat& info, Others who, bool search, gid_t group) {
  const bool own = info.st_uid == ::geteuid();
  const mode_t group_bit = search ? S_IXGRP : S_IRGRP, other_bit = search ? S_IXOTH : S_IROTH;
  if (who == Others::Group && own)
    return (info.st_mode & group_bit) != 0 && (info.st_gid == group || (info.st_mode & other_bit) != 0);
  return (info.st_mode & other_bit) != 0;
}

// A group of the user's alone, as systems that give each user a group of
// their own name make it: its members are no other users.
bool users_own_group(gid_t group) {
  const struct group* entry = ::getgrgid(group);
  const struct passwd* user = ::getpwuid(::geteuid());
  if (entry == nullptr || user == nullptr || std::string_view(entry->gr_name) != user->pw_name) return false;
  for (char** member = entry->gr_mem; *member != nullptr; ++member)
    if (std::string_view(*member) != user->pw_name) return false;
  return true;
}

// Every folder from "/" down to `folder` (canonical) passed by `who`; a
// folder of the user's that belongs to another group than `group` may be
// passed by its group bits or by everyone's (the member may be in both).
bool passes_to(const fs::path& folder, Others who, gid_t group) {
  fs::path at;
  for (const fs::path& part : folder) {
    at /= part;
    struct stat info;
    if (::stat(at.c_str(), &info) != 0) return false;
    const bool maybe_both = who == Others::Group && info.st_uid == ::geteuid() && info.st_gid != group &&
                            (info.st_mode & (S_IXGRP | S_IXOTH)) != 0;
    if (!maybe_both && !open_to(info, who, true, group)) return false;
  }
  return true;
}

std::vector<std::string> nul_separated(std::string_view text) {
  std::vector<std::string> items;
  while (!text.empty()) {
    const std::size_t end = text.find('\0');
    items.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return items;
}

Result<std::vector<std::string>> untracked(const fs::path& root, const std::string& pathspec) {
  auto listed = git_output(root, {"ls-files", "-z", "--others", "--exclude-standard", "--", pathspec});
  if (!listed) return std::unexpected(listed.error());
  if (!listed->status.success()) return failure(std::string(trim(lossy_utf8(listed->errors))));
  return nul_separated(listed->output);
}

// A path as a line of an exclude file matching that path alone: anchored
// at the top, git's pattern characters escaped. A line end cannot be
// written in a pattern; "?" stands for it (and for any other control
// character), which matches it and nothing more to the point.
std::string exclude_line(std::string_view path) {
  std::string line = "/";
  for (const char c : path) {
    if (c == '*' || c == '?' || c == '[' || c == '\\') line += '\\';
    line += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
  }
  // Trailing blanks are dropped from a pattern unless escaped.
  std::size_t blanks = 0;
  while (blanks < line.size() && line[line.size() - 1 - blanks] == ' ') ++blanks;
  line.resize(line.size() - blanks);
  for (std::size_t i = 0; i < blanks; ++i) line += "\\ ";
  return line;
}

}  // namespace

Result<PrivateFiles> private_untracked_files(const fs::path& root, const std::string& pathspec) {
  PrivateFiles found;
  auto objects = git_path(root, "objects");
  if (!objects) return std::unexpected(objects.error());
  auto canonical = canonical_path(*objects);
  if (!canonical) return std::unexpected(canonical.error());
  found.git_folder = canonical->parent_path();
  std::vector<Others> reaching;
  struct stat objects_folder;
  if (::stat(canonical->c_str(), &objects_folder) != 0) return os_failure();
  for (Others who : kOthers)
    if (!(who == Others::Group && users_own_group(objects_folder.st_gid)) &&
        passes_to(*canonical, who, objects_folder.st_gid))
      reaching.push_back(who);
  if (reaching.empty()) return found;  // no one else reads the objects: every file may go in
  auto files = untracked(root, pathspec);
  if (!files) return std::unexpected(files.error());
  std::map<std::pair<fs::path, Others>, bool> folders;  // below the top: passed by whom
  auto folder_open = [&](const fs::path& relative, Others who) {
    fs::path at = root;
    for (const fs::path& part : relative) {
      at /= part;
      auto [known, fresh] = folders.try_emplace({at, who}, false);
      if (fresh) {
        struct stat info;
        known->second = ::stat(at.c_str(), &info) == 0 && open_to(info, who, true, objects_folder.st_gid);
      }
      if (!known->second) return false;
    }
    return true;
  };
  for (const std::string& path : *files) {
    struct stat info;
    if (::lstat((root / path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    const fs::path relative(path);
    if (std::ranges::any_of(reaching, [&](Others who) {
          return !open_to(info, who, false, objects_folder.st_gid) || !folder_open(relative.parent_path(), who);
        }))
      found.paths.push_back(path);
  }
  return found;
}

Result<std::string> add_all_except(const fs::path& root, const std::string& pathspec,
                                   const std::vector<std::string>& left_out, const GitEnvironment& environment,
                                   bool ignore_errors) {
  std::vector<std::string> add{"add", "-A"};
  if (ignore_errors) add.push_back("--ignore-errors");
  if (left_out.empty()) {
    add.insert(add.end(), {"--", pathspec});
    return git_ok(root, add, environment);
  }
  auto file = git_path(root, "wendlebox-pathspec");
  if (!file) return std::unexpected(file.error());
  std::string pathspecs = pathspec + '\0';
  for (const std::string& path : left_out) pathspecs += ":(exclude,literal)" + path + '\0';
  if (auto written = write_file_whole(*file, pathspecs); !written) return std::unexpected(written.error());
  add.insert(add.end(), {"--pathspec-from-file=" + file->string(), "--pathspec-file-nul"});
  auto added = git_ok(root, add, environment);
  std::error_code ignored;
  fs::remove(*file, ignored);
  return added;
}

bool secret_by_name(std::string_view name) {
  static constexpr std::array<std::string_view, 10> kNames{
      ".env",       "id_rsa",        "id_dsa", "id_ecdsa", "id_ed25519", "id_ecdsa_sk", "id_ed25519_sk",
      ".netrc",     "_netrc",        ".pgpass"};
  static constexpr std::array<std::string_view, 4> kEndings{".pem", ".key", ".p12", ".pfx"};
  if (std::ranges::find(kNames, name) != kNames.end()) return true;
  if (name.starts_with(".env.") || name.starts_with("credentials")) return true;
  return std::ranges::any_of(kEndings, [&](std::string_view ending) { return name.ends_with(ending); });
}

Result<std::vector<std::string>> exclude_secret_files(const fs::path& root) {
  auto files = untracked(root, ".");
  if (!files) return std::unexpected(files.error());
  std::vector<std::string> secrets;
  std::string lines;
  for (const std::string& path : *files)
    if (secret_by_name(fs::path(path).filename().string())) {
      secrets.push_back(path);
      lines += exclude_line(path) + "\n";
    }
  if (secrets.empty()) return secrets;
  auto exclude = git_path(root, "info/exclude");
  if (!exclude) return std::unexpected(exclude.error());
  if (auto made = create_dirs(exclude->parent_path()); !made) return std::unexpected(made.error());
  const std::string before = read_file(*exclude).value_or("");
  if (!before.empty() && !before.ends_with('\n')) lines.insert(0, "\n");
  if (auto appended = append_file(*exclude, lines); !appended) return std::unexpected(appended.error());
  return secrets;
}

std::string private_folder_command(const fs::path& folder) {
  const std::string text = folder.string();
  const bool plain = std::ranges::all_of(text, [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::string_view("/._-+,:@%=").find(c) != std::string_view::npos;
  });
  if (plain) return "chmod 700 " + text;
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return "chmod 700 " + quoted + "'";
}

}  // namespace wendlebox
