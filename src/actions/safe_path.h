// Confinement of every path ChatGPT names to the working folder and the
// extra folders the user allowed, symbolic links included.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "common/result.h"

namespace fs = std::filesystem;

// The working folder first, then each stored extra folder that still
// resolves to a directory under its own key, once.
std::vector<fs::path> root_list(const fs::path& working_folder, const std::vector<std::string>& stored_folders);

// The path to operate on (the request as given or joined to `base`), or why
// it is refused. With `create_parents`, missing parent folders are created
// once the request is known to stay inside a root.
Result<fs::path> safe_path(const fs::path& base, const std::vector<fs::path>& roots, const std::string& requested,
                           bool create_parents);
