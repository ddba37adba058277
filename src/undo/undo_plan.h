// What /undo will do, decided before anything is touched: from what the
// prompt changed (its watch's touches) and what is at each of those paths
// now, which paths stay as they are and, in the order they are done, what
// is taken away and what comes back. Nothing here reads or writes a file,
// so every case can be told on a table.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "undo/prompt_watch.h"

namespace wendlebox {

struct UndoPlan {
  // Changed by someone else too, during the prompt or since: they stay.
  std::vector<std::filesystem::path> left{};
  // What the prompt put where nothing was, or a file where a folder was
  // (or the other way round), goes first: files and links. With
  // `back_to_nothing` nothing was there before the prompt.
  struct Removal {
    std::filesystem::path path;
    bool back_to_nothing = false;
    bool operator==(const Removal&) const = default;
  };
  std::vector<Removal> removals{};
  // Folders the prompt removed, made again from the top.
  std::vector<std::filesystem::path> folders_back{};
  // Files the prompt only renamed: each new name with the old one it goes
  // back to, or with none when that name is not to be put back (the file
  // then stays under its new one).
  std::map<std::filesystem::path, std::filesystem::path> moves{};
  // Folders the prompt made, taken away from the deepest.
  std::vector<std::filesystem::path> folders_made{};
  // Files and links the prompt changed or removed, written back last.
  std::vector<std::filesystem::path> files_back{};
};

// `now` tells what is at a path as a look at the folder sees it now.
UndoPlan plan_undo(const std::map<std::filesystem::path, Touch>& touched,
                   const std::function<std::optional<FileState>(const std::filesystem::path&)>& now);

}  // namespace wendlebox
