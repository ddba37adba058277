// What no action may touch whatever folder the user allowed: Git's and the
// project's own folders may be read but never written (git runs what its
// config and hooks name, and the project folder lists the chats to open),
// and the program's own state (settings, allow list, chat list, forwarding
// pages) is neither read nor written, or a reply could switch commands
// back on, allow `/`, or read the session's key.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/env.h"

namespace wendlebox {

// ".git" or ".wendlebox" when `name` spells one of them in a folder that
// compares names as written (`folds_case` false), or ignoring letter case
// and the invisible characters that such file systems skip (`folds_case`).
std::optional<std::string> protected_name(std::string_view name, bool folds_case);

// Whether the open folder's file system takes names regardless of case:
// a case-folding folder (ext4, f2fs, tmpfs), or a FAT, exFAT, NTFS, HFS,
// SMB, 9p (the Windows side of WSL) or FUSE mount, which may.
bool folder_folds_case(int folder);

// ".git" or ".wendlebox" when `name` in the open `folder` is one of them as
// that folder's file system compares names; `entry` is what is there now,
// if anything: an entry that is the folder's own `.git` under another name
// counts too.
std::optional<std::string> protected_entry(int folder, const std::string& name, const struct stat* entry);

// The program's own folders for the user running it, as they are now.
class ProgramState {
 public:
  explicit ProgramState(const EnvLookup& env = process_env);
  // Whether `path` (links resolved) is one of those folders or inside one,
  // or a forwarding page; `entry` is what is there, if anything.
  bool holds(const std::filesystem::path& path, const struct stat* entry) const;
  // Whether one of those folders lies inside `folder` (or is it).
  bool inside(const std::filesystem::path& folder) const;
  // Whether `path` (links resolved) is a file git reads as settings, or
  // lies in a folder it reads or runs from by setting: the system, global
  // and XDG files, and what git was found to read for the repositories the
  // program runs it in (the repository's own folder and config, their
  // includes, attributes, excludes and hooks). Readable, but never
  // written, since the program's own git commands run what they name,
  // whether or not commands are allowed. A path that does not exist yet
  // counts when git would read it once made.
  bool git_settings(const std::filesystem::path& path) const;
  // The same for `name` in the open `folder` (at `path`), by identity too:
  // the same file reached through another name (a link, a hard link, a
  // bind mount, a case-folding file system), or a file not made yet in the
  // very folder git would read it from. `entry` is what is there, if anything.
  bool git_settings(int folder, const std::filesystem::path& path, const std::string& name,
                    const struct stat* entry) const;

 private:
  // One place git reads as settings, as the kernel reaches it: its folder
  // resolved, and, for a link, one spot for the link and one for where it leads.
  struct GitSpot {
    std::filesystem::path path;
    bool folder = false;
    std::optional<std::pair<dev_t, ino_t>> identity;  // of what is there
    std::optional<std::pair<dev_t, ino_t>> parent;    // of the folder it is in
  };
  void add_git_spots(const std::filesystem::path& place, bool folder);

  std::vector<std::filesystem::path> folders_;
  std::vector<std::pair<dev_t, ino_t>> identities_;
  std::vector<GitSpot> git_spots_;
  std::optional<std::filesystem::path> runtime_;  // forwarding pages, wendlebox-*, are in it or a folder of it
};

// What a session says once when its folders reach more than a project: the
// home folder, or a folder that holds the program's own settings.
std::optional<std::string> broad_reach_notice(const std::vector<std::filesystem::path>& roots,
                                              const EnvLookup& env = process_env);

}  // namespace wendlebox
