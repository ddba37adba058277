// Every change /undo makes to the user's folder, made here: a file, a link
// or a folder put back as it was before a prompt, or what the prompt made
// taken away. A file's bytes go through the one whole-file write (a new
// file beside it, renamed over it), and nothing is written into a folder
// that a link stands for.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "common/files.h"
#include "common/result.h"

namespace wendlebox {

// The folder holding `path`, opened where it is; a link standing for it is
// refused, since what the link leads to is no file of the prompt's.
Result<UniqueFd> open_holding_folder(const std::filesystem::path& path);

// `name` in the open `dir` made a link to `target` again, in place of what is there.
Status put_back_link(int dir, const std::string& name, const std::string& target);

// `name` in the open `dir` replaced whole by `content`, with `mode`.
Status put_back_file(int dir, const std::string& name, std::string_view content, mode_t mode);

// The file or link at `path` taken away; nothing there is no failure.
Status take_away_file(const std::filesystem::path& path);

// The folder at `path` there again (or still), with `mode`.
Status put_back_folder(const std::filesystem::path& path, mode_t mode);

// The folder at `path` taken away when it is empty: one that holds someone
// else's files stays, and the answer is false.
bool take_away_empty_folder(const std::filesystem::path& path);

// A file the prompt renamed, back from `made` to `was`: never over a file
// that appeared there since, nor into a folder a link stands for.
bool move_back(const std::filesystem::path& made, const std::filesystem::path& was);

}  // namespace wendlebox
