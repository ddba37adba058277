// Which lines one text's version took out and put in: the shortest edit
// script between two lists of lines (Myers' greedy algorithm), bounded so
// that a file rewritten whole costs no more than a few milliseconds.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace wendlebox {

struct DiffLine {
  enum class Kind { Same, Removed, Added };
  Kind kind;
  std::size_t old_index;  // the line's place in the old list (for Added: the old line it comes before)
  std::size_t new_index;  // the line's place in the new list (for Removed: the new line it comes before)
};

// The lines of `before` and `after` in order, each kept, removed or added.
// Lines both ends share are matched at once, so an edit in one place of a
// large file is compared only over the lines it touched; past
// `max_distance` differences the rest of the changed region is given as
// all of its old lines removed, then all of its new lines added.
std::vector<DiffLine> diff_lines(const std::vector<std::string_view>& before, const std::vector<std::string_view>& after,
                                 std::size_t max_distance = 500);

}  // namespace wendlebox
