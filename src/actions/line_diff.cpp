#include "actions/line_diff.h"

#include <algorithm>
#include <cstdint>
#include <functional>

namespace wendlebox {

namespace {

using Kind = DiffLine::Kind;

// Lines as numbers, equal numbers for equal lines, so that the search
// compares integers rather than strings.
struct Numbered {
  std::vector<std::uint32_t> old_ids, new_ids;
};

Numbered number_lines(const std::vector<std::string_view>& a, std::size_t a_begin, std::size_t a_end,
                      const std::vector<std::string_view>& b, std::size_t b_begin, std::size_t b_end) {
  std::vector<std::pair<std::string_view, std::uint32_t>> seen;
  std::vector<std::uint32_t> by_hash;
  Numbered numbered;
  // A small open-addressing table: the region is usually a few lines.
  const std::size_t count = (a_end - a_begin) + (b_end - b_begin);
  std::size_t size = 16;
  while (size < count * 2) size *= 2;
  std::vector<std::int64_t> table(size, -1);
  auto id_of = [&](std::string_view line) -> std::uint32_t {
    std::size_t slot = std::hash<std::string_view>{}(line) & (size - 1);
    while (table[slot] >= 0) {
      if (seen[static_cast<std::size_t>(table[slot])].first == line) return seen[static_cast<std::size_t>(table[slot])].second;
      slot = (slot + 1) & (size - 1);
    }
    const auto id = static_cast<std::uint32_t>(seen.size());
    table[slot] = static_cast<std::int64_t>(seen.size());
    seen.emplace_back(line, id);
    return id;
  };
  for (std::size_t i = a_begin; i < a_end; ++i) numbered.old_ids.push_back(id_of(a[i]));
  for (std::size_t i = b_begin; i < b_end; ++i) numbered.new_ids.push_back(id_of(b[i]));
  return numbered;
}

// The edit script of the region, as Myers' forward search finds it; false
// when it needs more than `max_distance` steps. Each step keeps only the
// diagonals it reached, so the walk back costs D² numbers at most.
bool myers(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b, std::size_t max_distance,
           std::vector<Kind>& script) {
  const auto n = static_cast<std::ptrdiff_t>(a.size()), m = static_cast<std::ptrdiff_t>(b.size());
  const std::ptrdiff_t limit = std::min<std::ptrdiff_t>(n + m, static_cast<std::ptrdiff_t>(max_distance));
  const std::ptrdiff_t offset = limit + 1;
  std::vector<std::ptrdiff_t> v(static_cast<std::size_t>(2 * limit + 3), 0);
  // The furthest x on each diagonal -d..d after step d, for the walk back.
  std::vector<std::vector<std::ptrdiff_t>> trace;
  auto furthest = [&](std::ptrdiff_t d, std::ptrdiff_t k) { return trace[static_cast<std::size_t>(d)][static_cast<std::size_t>(k + d)]; };
  for (std::ptrdiff_t d = 0; d <= limit; ++d) {
    bool done = false;
    for (std::ptrdiff_t k = -d; k <= d; k += 2) {
      const std::size_t at = static_cast<std::size_t>(k + offset);
      std::ptrdiff_t x = (k == -d || (k != d && v[at - 1] < v[at + 1])) ? v[at + 1] : v[at - 1] + 1;
      std::ptrdiff_t y = x - k;
      while (x < n && y < m && a[static_cast<std::size_t>(x)] == b[static_cast<std::size_t>(y)]) ++x, ++y;
      v[at] = x;
      if (x >= n && y >= m) {
        done = true;
        break;
      }
    }
    trace.emplace_back(v.begin() + (offset - d), v.begin() + (offset + d + 1));
    if (!done) continue;
    // Walk back from the end, one step of the search at a time.
    std::vector<Kind> reversed;
    std::ptrdiff_t x = n, y = m;
    for (std::ptrdiff_t step = d; step > 0; --step) {
      const std::ptrdiff_t k = x - y;
      const bool down = k == -step || (k != step && furthest(step - 1, k - 1) < furthest(step - 1, k + 1));
      const std::ptrdiff_t from_k = down ? k + 1 : k - 1;
      const std::ptrdiff_t from_x = furthest(step - 1, from_k);
      const std::ptrdiff_t moved_x = down ? from_x : from_x + 1;  // where the step's move ended, before its snake
      for (; x > moved_x; --x, --y) reversed.push_back(Kind::Same);
      reversed.push_back(down ? Kind::Added : Kind::Removed);
      x = from_x;
      y = from_x - from_k;
    }
    for (; x > 0; --x, --y) reversed.push_back(Kind::Same);
    script.assign(reversed.rbegin(), reversed.rend());
    return true;
  }
  return false;
}

}  // namespace

std::vector<DiffLine> diff_lines(const std::vector<std::string_view>& before, const std::vector<std::string_view>& after,
                                 std::size_t max_distance) {
  std::size_t head = 0;
  while (head < before.size() && head < after.size() && before[head] == after[head]) ++head;
  std::size_t tail = 0;
  while (tail < before.size() - head && tail < after.size() - head &&
         before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
    ++tail;
  const std::size_t old_end = before.size() - tail, new_end = after.size() - tail;

  std::vector<DiffLine> lines;
  lines.reserve(std::max(before.size(), after.size()) + 8);
  std::size_t i = 0, j = 0;
  for (; i < head; ++i, ++j) lines.push_back({Kind::Same, i, j});

  const Numbered numbered = number_lines(before, head, old_end, after, head, new_end);
  std::vector<Kind> script;
  if (!myers(numbered.old_ids, numbered.new_ids, max_distance, script)) {
    script.assign(old_end - head, Kind::Removed);
    script.insert(script.end(), new_end - head, Kind::Added);
  }
  // Each run of changes reads as its old lines taken out, then its new
  // lines put in, as diffs are read.
  for (std::size_t at = 0; at < script.size();) {
    if (script[at] == Kind::Same) {
      lines.push_back({Kind::Same, i++, j++});
      ++at;
      continue;
    }
    std::size_t removed = 0, added = 0;
    for (; at < script.size() && script[at] != Kind::Same; ++at) ++(script[at] == Kind::Removed ? removed : added);
    for (std::size_t r = 0; r < removed; ++r) lines.push_back({Kind::Removed, i++, j});
    for (std::size_t a = 0; a < added; ++a) lines.push_back({Kind::Added, i, j++});
  }
  for (; i < before.size(); ++i, ++j) lines.push_back({Kind::Same, i, j});
  return lines;
}

}  // namespace wendlebox
