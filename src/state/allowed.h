// The allow list: extra folders that file actions may reach, for every
// project of this user.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/folders.h"
#include "common/result.h"

namespace wendlebox {

struct AllowList {
  std::vector<std::string> folders;  // canonical paths, in the order added
};

std::filesystem::path allowed_path();
Result<AllowList> load_allowed();
Status save_allowed(const AllowList& list);

// Loads the list, lets `change` edit it and saves it when `change` says it
// changed, all under the file's lock.
Status update_allowed(const std::function<bool(AllowList&)>& change);

// The allow list file's text as a record (what load_allowed reads).
Result<AllowList> decode_allowed(std::string_view text);

}  // namespace wendlebox
