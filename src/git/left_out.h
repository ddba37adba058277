// What a snapshot leaves out of Git. Every object in a repository can be
// read by whoever can enter its .git folder: a file only its owner may read
// must not become one there when other users can, and a repository the
// program makes never takes, in its first snapshot, a file whose name says
// it holds secrets (a later push would publish it).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "git/git_command.h"

namespace wendlebox {

struct PrivateFiles {
  std::vector<std::string> paths;     // relative to the repository's top, as git names them
  std::filesystem::path git_folder;  // the folder whose mode decides who reads the objects
};

// The files below `pathspec` that Git does not track yet and does not
// ignore, which some other user could read as Git objects (the
// repository's objects are open to their group or to everyone) but
// cannot read now (the file's mode, or a folder on the way, keeps them out).
Result<PrivateFiles> private_untracked_files(const std::filesystem::path& root, const std::string& pathspec);

// `git add -A` of the pathspec, leaving `left_out` out (named through a
// file, so that any number fits); `ignore_errors`: files that cannot be
// read are passed over rather than failing the whole.
Result<std::string> add_all_except(const std::filesystem::path& root, const std::string& pathspec,
                                   const std::vector<std::string>& left_out, const GitEnvironment& environment = {},
                                   bool ignore_errors = false);

// Whether a file's name says it holds secrets: .env and .env.*, keys and
// certificates (*.pem, *.key, *.p12, *.pfx, id_rsa, id_ed25519 and the
// like), .netrc, .pgpass, credentials*.
bool secret_by_name(std::string_view name);

// In a repository the program has just made: the files Git would take
// whose names say they hold secrets, each added to the repository's local
// exclude file; their paths.
Result<std::vector<std::string>> exclude_secret_files(const std::filesystem::path& root);

// The command that makes the folder its owner's alone, quoted for a shell.
std::string private_folder_command(const std::filesystem::path& folder);

}  // namespace wendlebox
