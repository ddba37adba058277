// The allow list: extra folders that file actions may reach, for every
// project of this user.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "common/folders.h"
#include "common/result.h"

struct AllowList {
  std::vector<std::string> folders;  // canonical paths, in the order added
};

Result<AllowList> load_allowed();
Status save_allowed(const AllowList& list);

// An absolute argument as given, a relative one joined to the current folder.
Result<std::filesystem::path> requested_folder(const std::string& text);

Status allow_add(const std::string& text);
Status allow_remove(const std::string& text);
Status list_allowed();
