#include "actions/safe_path.h"

#include <sys/stat.h>

#include <algorithm>

#include "common/files.h"
#include "state/allowed.h"

namespace {

bool is_inside(const fs::path& path, const fs::path& root) {
  auto p = path.begin();
  for (auto r = root.begin(); r != root.end(); ++r, ++p) {
    if (r->empty()) continue;  // a trailing separator of the root
    if (p == path.end() || *p != *r) return false;
  }
  return true;
}

bool is_inside_any(const fs::path& path, const std::vector<fs::path>& roots) {
  return std::ranges::any_of(roots, [&](const fs::path& root) { return is_inside(path, root); });
}

bool exists_without_following(const fs::path& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

constexpr const char* kOutside = "Path is outside the working and allowed folders";

}  // namespace

std::vector<fs::path> root_list(const fs::path& working_folder, const std::vector<std::string>& stored_folders) {
  std::vector<fs::path> roots{working_folder};
  for (const std::string& stored : stored_folders) {
    auto canonical = canonical_path(stored);
    if (!canonical || !is_dir(*canonical)) continue;
    // A stored folder that now resolves elsewhere (through a link) is not
    // what the user allowed.
    const std::string key = folder_key(*canonical);
    if (key != folder_key(stored)) continue;
    if (std::ranges::any_of(roots, [&](const fs::path& root) { return folder_key(root) == key; })) continue;
    roots.push_back(*canonical);
  }
  return roots;
}

Result<fs::path> safe_path(const fs::path& base, const std::vector<fs::path>& roots, const std::string& requested,
                           bool create_parents) {
  const fs::path request(requested);
  for (const fs::path& part : request)
    if (part == "..") return failure("Path cannot contain '..'");
  const fs::path candidate = request.is_absolute() ? request : base / request;

  fs::path ancestor = candidate;
  while (!exists_without_following(ancestor)) {
    const fs::path parent = ancestor.parent_path();
    if (parent.empty() || parent == ancestor) return failure("Invalid path");
    ancestor = parent;
  }
  auto canonical_ancestor = canonical_path(ancestor);
  if (!canonical_ancestor) return std::unexpected(canonical_ancestor.error());
  if (!is_inside_any(*canonical_ancestor, roots)) return failure(kOutside);

  const fs::path parent = candidate.parent_path();
  if (create_parents && !parent.empty())
    if (auto made = create_dirs(parent); !made) return std::unexpected(made.error());

  // The target itself, or its parent, may be a link leading out.
  if (auto target = canonical_path(candidate)) {
    if (!is_inside_any(*target, roots)) return failure(kOutside);
  } else if (auto canonical_parent = canonical_path(parent); !parent.empty() && canonical_parent) {
    if (!is_inside_any(*canonical_parent, roots)) return failure(kOutside);
  }
  return candidate;
}
