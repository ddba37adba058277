#include "common/folders.h"

#include <sys/stat.h>

#include "common/env.h"
#include "common/files.h"
#include "common/text.h"

namespace wendlebox {

std::string folder_key(const std::filesystem::path& path) {
  std::string key = lossy_utf8(path.native());
  while (key.ends_with('/')) key.pop_back();
  return key;
}

bool is_inside(const std::filesystem::path& path, const std::filesystem::path& folder) {
  auto p = path.begin();
  for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
    if (f->empty()) continue;  // a trailing separator of the folder
    if (p == path.end() || *p != *f) return false;
  }
  return true;
}

std::string friendly_folder(const std::filesystem::path& path) {
  std::string text = lossy_utf8(path.native());
  if (text.starts_with(R"(\\?\UNC\)")) return R"(\\)" + text.substr(8);
  if (text.starts_with(R"(\\?\)")) return text.substr(4);
  return text;
}

Result<std::filesystem::path> current_folder() {
  auto cwd = current_dir();
  if (!cwd) return std::unexpected(cwd.error());
  return canonical_path(*cwd);
}

namespace {

bool is_executable_file(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0111) != 0;
}

}  // namespace

std::vector<std::filesystem::path> programs_on_path(std::string_view name) {
  const std::string path = process_env("PATH").value_or("");
  std::vector<std::filesystem::path> found;
  for (std::size_t start = 0;;) {
    const std::size_t colon = path.find(':', start);
    const std::string directory = path.substr(start, colon - start);
    const std::filesystem::path candidate = std::filesystem::path(directory.empty() ? "." : directory) / name;
    if (is_executable_file(candidate.string())) found.push_back(candidate);
    if (colon == std::string::npos) return found;
    start = colon + 1;
  }
}

}  // namespace wendlebox
