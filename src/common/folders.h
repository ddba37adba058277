// Folders as the program names them: one equality, one way to show them,
// and the folder a command was started in.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>
#include <string>

#include "common/result.h"

namespace wendlebox {

// The one equality for folders: the text without trailing "/".
std::string folder_key(const std::filesystem::path& path);

// Whether `path` is `folder` or lies below it, component by component (so
// /home/u/project2 is not inside /home/u/project).
bool is_inside(const std::filesystem::path& path, const std::filesystem::path& folder);

// The folder as shown to the user (Windows extended-length prefix removed).
std::string friendly_folder(const std::filesystem::path& path);

// The current folder, symbolic links resolved.
Result<std::filesystem::path> current_folder();

// Every executable file called `name` in the folders of PATH, in PATH's
// order (the first is the one a shell runs).
std::vector<std::filesystem::path> programs_on_path(std::string_view name);

}  // namespace wendlebox
