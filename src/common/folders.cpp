#include "common/folders.h"

#include "common/files.h"
#include "common/text.h"

std::string folder_key(const std::filesystem::path& path) {
  std::string key = lossy_utf8(path.native());
  while (key.ends_with('/')) key.pop_back();
  return key;
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
