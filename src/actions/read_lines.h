// Reading a file by lines, so that a log or a generated file too large to
// read whole can be read in parts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "actions/action.h"
#include "actions/executor.h"

namespace wendlebox {

struct LineRange {
  std::string content;  // the lines as in the file, line breaks included
  std::uint64_t start_line = 0, end_line = 0, total_lines = 0;
};

// Lines `start` to `end` (1-based, inclusive; the first or the last line
// when left out) of what `fd` reads, as many whole lines as fit in
// `max_bytes`. The file is read once, in pieces: only the range is kept.
Result<LineRange> read_line_range(int fd, std::optional<std::uint64_t> start, std::optional<std::uint64_t> end,
                                  std::size_t max_bytes);

// read_file with start_line or end_line.
Result<Json> read_file_lines(const Action& action, ExecutionContext& context);

}  // namespace wendlebox
