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
  // Whether `path` (links resolved) is Git's own configuration for this
  // user (~/.gitconfig, the git folder of the configuration home, or
  // $GIT_CONFIG_GLOBAL): readable, but never written, since the program's
  // own git commands run what it names, whether or not commands are allowed.
  bool git_settings(const std::filesystem::path& path) const;

 private:
  std::vector<std::filesystem::path> folders_;
  std::vector<std::pair<dev_t, ino_t>> identities_;
  std::vector<std::filesystem::path> git_settings_;
  std::optional<std::filesystem::path> runtime_;  // forwarding pages, wendlebox-*, are in it or a folder of it
};

// What a session says once when its folders reach more than a project: the
// home folder, or a folder that holds the program's own settings.
std::optional<std::string> broad_reach_notice(const std::vector<std::filesystem::path>& roots,
                                              const EnvLookup& env = process_env);
