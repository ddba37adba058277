#include "actions/edit_lines.h"

#include <algorithm>
#include <cstdint>

#include "common/text.h"

namespace wendlebox {

namespace {

// Beyond this many pairs of lines, only the lines an edit keeps at its
// start and end are told apart from those it changes.
constexpr std::size_t kMaxAlignedPairs = std::size_t{1} << 20;
constexpr std::size_t kNoLine = static_cast<std::size_t>(-1);
constexpr std::array<std::size_t, 3> kUnits{8, 4, 2};

bool is_blank_char(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

long long columns(std::string_view indent, std::size_t tab) {
  std::size_t width = 0;
  for (char c : indent) width = c == '\t' ? (width / tab + 1) * tab : width + 1;
  return static_cast<long long>(width);
}

std::optional<Shift> shift_between(std::string_view file_indent, std::string_view old_indent) {
  if (file_indent.ends_with(old_indent))
    return Shift{std::string(file_indent.substr(0, file_indent.size() - old_indent.size())), true};
  if (old_indent.ends_with(file_indent))
    return Shift{std::string(old_indent.substr(0, old_indent.size() - file_indent.size())), false};
  return std::nullopt;
}

bool fits_shift(std::string_view file_indent, std::string_view old_indent, const Shift& shift) {
  return shift.added ? file_indent.size() == shift.prefix.size() + old_indent.size() &&
                           file_indent.starts_with(shift.prefix) && file_indent.ends_with(old_indent)
                     : old_indent.size() == shift.prefix.size() + file_indent.size() &&
                           old_indent.starts_with(shift.prefix) && old_indent.ends_with(file_indent);
}

// A line of the edit's new text moved to where its `old` matched; none
// when the line is shallower than the difference it must lose.
std::optional<std::string> reindented(std::string_view line, const Fit& fit) {
  if (fit.level == Match::TrailingSpace || trim_end(line).empty()) return std::string(line);
  if (fit.level == Match::Indentation) {
    if (fit.shift.added) return fit.shift.prefix + std::string(line);
    if (!line.starts_with(fit.shift.prefix)) return std::nullopt;
    return std::string(line.substr(fit.shift.prefix.size()));
  }
  const std::string_view indent = indentation(line);
  const long long width = columns(indent, fit.tab) + fit.columns;
  if (width < 0) return std::nullopt;
  const auto w = static_cast<std::size_t>(width);
  std::string moved = fit.style == Indent::Tabs ? std::string(w / fit.tab, '\t') + std::string(w % fit.tab, ' ')
                                                : std::string(w, ' ');
  return moved += line.substr(indent.size());
}

// For each line of `fresh`, the line of `old` it repeats unchanged (white
// space at its end aside), or kNoLine: the longest common subsequence, so
// that the unchanged lines between two changes of one edit count too.
std::vector<std::size_t> kept_lines(const std::vector<std::string_view>& old_lines,
                                    const std::vector<std::string_view>& fresh_lines) {
  std::vector<std::string_view> old, fresh;
  for (std::string_view line : old_lines) old.push_back(trim_end(line));
  for (std::string_view line : fresh_lines) fresh.push_back(trim_end(line));
  std::vector<std::size_t> kept(fresh.size(), kNoLine);
  std::size_t head = 0;
  for (; head < old.size() && head < fresh.size() && old[head] == fresh[head]; ++head) kept[head] = head;
  std::size_t tail = 0;
  for (; tail < old.size() - head && tail < fresh.size() - head &&
         old[old.size() - 1 - tail] == fresh[fresh.size() - 1 - tail];
       ++tail)
    kept[fresh.size() - 1 - tail] = old.size() - 1 - tail;
  const std::size_t n = old.size() - head - tail, m = fresh.size() - head - tail;
  if (n == 0 || m == 0 || n * m > kMaxAlignedPairs) return kept;
  std::vector<std::uint32_t> longest((n + 1) * (m + 1), 0);
  auto at = [&](std::size_t j, std::size_t k) -> std::uint32_t& { return longest[j * (m + 1) + k]; };
  for (std::size_t j = n; j-- > 0;)
    for (std::size_t k = m; k-- > 0;)
      at(j, k) = old[head + j] == fresh[head + k] ? at(j + 1, k + 1) + 1 : std::max(at(j + 1, k), at(j, k + 1));
  for (std::size_t j = 0, k = 0; j < n && k < m;) {
    if (old[head + j] == fresh[head + k]) {
      kept[head + k] = head + j;
      ++j, ++k;
    } else if (at(j + 1, k) >= at(j, k + 1)) {
      ++j;
    } else {
      ++k;
    }
  }
  return kept;
}

}  // namespace

std::vector<Line> lines_of(std::string_view text) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t feed = text.find('\n', start);
    const std::size_t next = feed == std::string_view::npos ? text.size() : feed + 1;
    std::size_t end = feed == std::string_view::npos ? text.size() : feed;
    if (end > start && text[end - 1] == '\r' && feed != std::string_view::npos) --end;
    std::size_t indent_end = start;
    while (indent_end < end && is_blank_char(text[indent_end])) ++indent_end;
    lines.push_back({start, end, next, indent_end});
    start = next;
  }
  return lines;
}

std::string_view trim_end(std::string_view s) {
  while (!s.empty() && is_blank_char(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view indentation(std::string_view s) {
  std::size_t n = 0;
  while (n < s.size() && is_blank_char(s[n])) ++n;
  return s.substr(0, n);
}

void IndentHabit::add(std::string_view line) {
  if (trim_end(line).empty()) return;
  const std::string_view indent = indentation(line);
  if (!indent.empty()) ++(indent[0] == '\t' ? tabs_ : spaces_);
  if (indent.find_first_not_of(' ') != std::string_view::npos) {
    previous_ = kNone;
    return;
  }
  if (previous_ != kNone && indent.size() != previous_) {
    const std::size_t step = indent.size() > previous_ ? indent.size() - previous_ : previous_ - indent.size();
    if (step < small_steps_.size()) {
      ++small_steps_[step];
    } else {
      ++wide_steps_;
      for (std::size_t i = 0; i < kUnits.size(); ++i) multiples_[i] += step % kUnits[i] == 0;
    }
  }
  previous_ = indent.size();
}

Indent IndentHabit::style() const {
  if (tabs_ == 0 && spaces_ == 0) return Indent::None;
  return tabs_ > spaces_ ? Indent::Tabs : Indent::Spaces;
}

std::size_t IndentHabit::unit() const {
  std::size_t commonest = 0;
  for (std::size_t step = 1; step < small_steps_.size(); ++step)
    if (small_steps_[step] > small_steps_[commonest]) commonest = step;
  if (commonest > 0) return commonest;
  for (std::size_t i = 0; i < kUnits.size(); ++i)
    if (wide_steps_ > 0 && multiples_[i] * 4 >= wide_steps_ * 3) return kUnits[i];
  return 4;
}

std::optional<Fit> fits_at(std::string_view text, const std::vector<Line>& lines, std::size_t first,
                           const std::vector<std::string_view>& old, const Fit& level) {
  Fit fit = level;
  bool measured = false;
  for (std::size_t j = 0; j < old.size(); ++j) {
    const std::string_view have = trim_end(line_text(text, lines[first + j]));
    const std::string_view want = trim_end(old[j]);
    if (level.level == Match::TrailingSpace) {
      if (have != want) return std::nullopt;
      continue;
    }
    if (have.empty() || want.empty()) {
      if (!have.empty() || !want.empty()) return std::nullopt;
      continue;
    }
    const std::string_view have_indent = indentation(have), want_indent = indentation(want);
    if (have.substr(have_indent.size()) != want.substr(want_indent.size())) return std::nullopt;
    if (level.level == Match::Indentation) {
      if (!measured) {
        const std::optional<Shift> shift = shift_between(have_indent, want_indent);
        if (!shift) return std::nullopt;
        fit.shift = *shift;
      }
      if (!fits_shift(have_indent, want_indent, fit.shift)) return std::nullopt;
    } else {
      const long long difference = columns(have_indent, fit.tab) - columns(want_indent, fit.tab);
      if (measured && difference != fit.columns) return std::nullopt;
      fit.columns = difference;
    }
    measured = true;
  }
  return fit;
}

std::expected<std::string, std::size_t> rebuilt_lines(std::string_view text, const std::vector<Line>& lines,
                                                      std::size_t first, const std::vector<std::string_view>& old,
                                                      bool old_ends_with_break, std::string_view replacement,
                                                      Endings endings, const Fit& fit) {
  const std::vector<std::string_view> fresh = split_lines(replacement);
  const std::vector<std::size_t> kept = kept_lines(old, fresh);
  auto break_after = [&](const Line& line) { return text.substr(line.end, line.next - line.end); };
  const std::string_view final_break = break_after(lines[first + old.size() - 1]);
  std::string_view usual_break = endings == Endings::Crlf ? "\r\n" : "\n";
  if (endings == Endings::Mixed && !final_break.empty()) usual_break = final_break;
  std::string out;
  for (std::size_t k = 0; k < fresh.size(); ++k) {
    std::string_view line_break = usual_break;
    if (kept[k] != kNoLine) {
      const Line& line = lines[first + kept[k]];
      out += line_text(text, line);
      if (!break_after(line).empty()) line_break = break_after(line);
    } else {
      const std::optional<std::string> line = reindented(fresh[k], fit);
      if (!line) return std::unexpected(k + 1);
      out += *line;
    }
    if (k + 1 == fresh.size() && !replacement.ends_with('\n')) line_break = old_ends_with_break ? "" : final_break;
    out += line_break;
  }
  return out;
}

}  // namespace wendlebox
