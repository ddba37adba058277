// Reading one of the program's own state files: a missing file is the
// default value, any other problem one message behind `prefix`.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "common/files.h"
#include "common/result.h"

template <class T, class Decode>
Result<T> load_state_file(const std::filesystem::path& path, std::string_view prefix, Decode decode) {
  auto text = read_file_if_exists(path);
  if (!text) return failure(std::string(prefix) + text.error());
  if (!*text) return T{};
  auto value = decode(**text);
  if (!value) return failure(std::string(prefix) + value.error());
  return value;
}
