// Folders as the program names them: one equality, one way to show them,
// and the folder a command was started in.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>
#include <string>

#include "common/result.h"

// The one equality for folders: the text without trailing "/".
std::string folder_key(const std::filesystem::path& path);

// The folder as shown to the user (Windows extended-length prefix removed).
std::string friendly_folder(const std::filesystem::path& path);

// The current folder, symbolic links resolved.
Result<std::filesystem::path> current_folder();

// Every executable file called `name` in the folders of PATH, in PATH's
// order (the first is the one a shell runs).
std::vector<std::filesystem::path> programs_on_path(std::string_view name);
