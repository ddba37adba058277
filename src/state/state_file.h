// Reading and changing one of the program's own state files: a missing file
// is the default value, any other problem one message behind `prefix`.
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

// Loads, changes and saves a state file under its lock, so two programs at
// once never lose each other's change; `change` returns whether there is
// anything to save.
template <class Load, class Save, class Change>
Status update_state_file(const std::filesystem::path& path, Load load, Save save, Change change) {
  auto lock = lock_file(path);
  if (!lock) return std::unexpected(lock.error());
  auto value = load();
  if (!value) return std::unexpected(value.error());
  if (!change(*value)) return {};
  return save(*value);
}
