#include "actions/read_lines.h"

#include <unistd.h>

#include <fmt/format.h>

#include "actions/file_access.h"
#include "common/text.h"
#include "i18n/i18n.h"
#include "actions/messages.h"

namespace wendlebox {

namespace {

using namespace messages::actions;

// Counting lines costs a pass over the file; past this size that pass
// would hold the session up for seconds.
constexpr std::uint64_t kMaxScannedBytes = std::uint64_t{1} << 30;

}  // namespace

Result<LineRange> read_line_range(int fd, std::optional<std::uint64_t> start, std::optional<std::uint64_t> end,
                                  std::size_t max_bytes) {
  const std::uint64_t first = start.value_or(1);
  if (first == 0) return failure("start_line must be 1 or more (lines are numbered from 1)");
  const std::uint64_t last = end.value_or(UINT64_MAX);
  LineRange range{.content = {}, .start_line = first, .end_line = first - 1, .total_lines = 0};
  bool full = false;         // the range no longer fits: later lines are only counted
  std::string line;          // what was read of the current line, when it is in the range
  std::uint64_t number = 1;  // of the current line
  bool line_open = false;    // some of the current line was read
  // The current line, whole: kept when it is in the range and still fits.
  auto end_line = [&] {
    if (!full && number >= first && number <= last) {
      range.content += line;
      range.end_line = number;
    }
    line.clear();
    line_open = false;
    ++number;
  };
  std::uint64_t scanned = 0;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return os_failure();
    if (n == 0) break;
    scanned += static_cast<std::uint64_t>(n);
    if (scanned > kMaxScannedBytes) return failure("File exceeds 1 GB");
    std::string_view piece(buffer, static_cast<std::size_t>(n));
    while (!piece.empty()) {
      const std::size_t feed = piece.find('\n');
      const std::string_view part = piece.substr(0, feed == std::string_view::npos ? piece.size() : feed + 1);
      piece.remove_prefix(part.size());
      line_open = true;
      if (!full && number >= first && number <= last) {
        line += part;
        if (range.content.size() + line.size() > max_bytes) full = true;
      }
      if (feed != std::string_view::npos) end_line();
    }
  }
  if (line_open) end_line();
  range.total_lines = number - 1;
  if (end && *end < first)
    return failure(fmt::format("end_line {} is before start_line {}; the file has {} lines", *end, first,
                               range.total_lines));
  if (first > range.total_lines)
    return failure(fmt::format("start_line {} is past the end of the file, which has {} lines", first,
                               range.total_lines));
  if (range.end_line < first)
    return failure(fmt::format("Line {} alone exceeds 250 KB; the file has {} lines", first, range.total_lines));
  return range;
}

Result<Json> read_file_lines(const Action& action, ExecutionContext& context) {
  auto file = open_confined(context, *action.path);
  if (!file) return std::unexpected(file.error());
  auto range = read_line_range(file->get(), action.start_line, action.end_line, kMaxReadBytes);
  if (!range) return std::unexpected(range.error());
  if (!is_valid_utf8(range->content)) return failure("File is not UTF-8 text");
  progress(context.out, i18n::tr(kRead),
           fmt::format("{} {}", one_line_text(*action.path),
                       fmt::format(fmt::runtime(i18n::tr(kLinesOf)), range->start_line, range->end_line,
                                   range->total_lines)));
  return Json{{"content", std::move(range->content)},
              {"end_line", range->end_line},
              {"path", *action.path},
              {"start_line", range->start_line},
              {"total_lines", range->total_lines}};
}

}  // namespace wendlebox
