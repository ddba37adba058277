// File-system helpers. Local state is written whole through a sibling
// temporary file and a rename, so a reader never sees half a file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"

namespace fs = std::filesystem;

// The whole file, or nullopt when it does not exist.
Result<std::optional<std::string>> read_file_if_exists(const fs::path& path);

Result<std::string> read_file(const fs::path& path);

// At most `max_bytes` of the file, so a huge file is never loaded whole.
Result<std::string> read_file_prefix(const fs::path& path, std::size_t max_bytes);

// Creates the directory and its missing ancestors (0777 before the umask).
Status create_dirs(const fs::path& dir);

// Creates the parent, writes `<target stem>.tmp` beside the target and
// renames it over the target. A failed step leaves the target as it was.
Status write_file_whole(const fs::path& target, std::string_view content);

// Appends with one write-all call on a file opened for appending
// (created 0666 before the umask), so each entry lands in one piece.
Status append_file(const fs::path& path, std::string_view content);

// Writes every byte, retrying short and interrupted writes.
Status write_all(int fd, std::string_view bytes);

// Absolute, symbolic links resolved.
Result<fs::path> canonical_path(const fs::path& path);

Result<fs::path> current_dir();

bool is_dir(const fs::path& path);
