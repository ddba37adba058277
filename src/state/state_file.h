// Reading and changing one of the program's own state files: a missing file
// is the default value, any other problem one message that names the file.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "common/files.h"
#include "common/result.h"

namespace wendlebox {

// What is said of a state file that does not load: `what` failed, on which
// file, why, and how to set it right.
std::string state_file_problem(std::string_view what, const std::filesystem::path& path, const Error& error);

template <class T, class Decode>
Result<T> load_state_file(const std::filesystem::path& path, std::string_view what, Decode decode) {
  auto text = read_file_if_exists(path);
  if (!text) return failure(state_file_problem(what, path, text.error()));
  if (!*text) return T{};
  auto value = decode(**text);
  if (!value) return failure(state_file_problem(what, path, value.error()));
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

}  // namespace wendlebox
