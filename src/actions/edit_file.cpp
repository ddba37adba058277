#include "actions/edit_file.h"

#include <algorithm>

#include <fmt/format.h>

#include "actions/file_access.h"
#include "common/text.h"
#include "i18n/i18n.h"

namespace {

constexpr i18n::Text kEdited{"Edited", "Editado", "Editado"};

// A file this much larger than what may be written cannot come back under
// the limit through edits that ChatGPT types.
constexpr std::size_t kMaxEditedFileBytes = 16 * kMaxWriteBytes;
constexpr std::size_t kPlacesShown = 10;
constexpr std::size_t kClosestLinesShown = 12;
constexpr std::size_t kShownLineChars = 200;

// One line of the file: its text is [start, end), without the line break;
// the next line starts at `next`.
struct Line {
  std::size_t start, end, next;
};

std::vector<Line> lines_of(std::string_view text) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t feed = text.find('\n', start);
    const std::size_t next = feed == std::string_view::npos ? text.size() : feed + 1;
    std::size_t end = feed == std::string_view::npos ? text.size() : feed;
    if (end > start && text[end - 1] == '\r' && feed != std::string_view::npos) --end;
    lines.push_back({start, end, next});
    start = next;
  }
  return lines;
}

std::size_t line_number(const std::vector<Line>& lines, std::size_t offset) {
  auto after = std::ranges::upper_bound(lines, offset, {}, &Line::start);
  return static_cast<std::size_t>(after - lines.begin());
}

bool is_blank_char(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string_view trim_end(std::string_view s) {
  while (!s.empty() && is_blank_char(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view indentation(std::string_view s) {
  std::size_t n = 0;
  while (n < s.size() && is_blank_char(s[n])) ++n;
  return s.substr(0, n);
}

std::vector<std::string_view> split_at_feeds(std::string_view text) {
  std::vector<std::string_view> pieces;
  for (std::size_t start = 0;;) {
    const std::size_t feed = text.find('\n', start);
    if (feed == std::string_view::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, feed - start));
    start = feed + 1;
  }
}

std::string with_lf(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
  return out;
}

std::string with_crlf(std::string_view text) {
  std::string out;
  for (char c : with_lf(text)) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// The file's line breaks: every one "\r\n", none of them, or a mixture
// (which is left alone, as the edit gives it).
enum class Endings { Lf, Crlf, Mixed };

Endings endings_of(std::string_view text) {
  std::size_t feeds = 0, crlf = 0;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n') {
      ++feeds;
      if (i > 0 && text[i - 1] == '\r') ++crlf;
    }
  if (crlf == 0) return Endings::Lf;
  return crlf == feeds ? Endings::Crlf : Endings::Mixed;
}

std::string in_endings(std::string_view text, Endings endings) {
  if (endings == Endings::Lf) return with_lf(text);
  if (endings == Endings::Crlf) return with_crlf(text);
  return std::string(text);
}

// The places an edit could apply at one level: how many, the lines of the
// first few, and the first one with what replaces it.
struct Places {
  std::size_t count = 0;
  std::vector<std::size_t> lines;
  std::size_t begin = 0, end = 0;
  std::string replacement;

  void add(std::size_t line) {
    if (lines.size() < kPlacesShown) lines.push_back(line);
    ++count;
  }
};

Places exact_places(std::string_view text, const std::vector<Line>& lines, std::string_view old,
                    std::string_view replacement) {
  Places places;
  for (std::size_t at = text.find(old); at != std::string_view::npos; at = text.find(old, at + 1)) {
    if (places.count == 0) {
      places.begin = at;
      places.end = at + old.size();
      places.replacement = replacement;
    }
    places.add(line_number(lines, at));
  }
  return places;
}

// How the file's indentation differs from the edit's, the same on every
// line: a prefix the file adds, or one it lacks.
struct Shift {
  std::string prefix;
  bool added = true;
};

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

std::string reindented(std::string_view line, const Shift& shift) {
  if (trim_end(line).empty()) return std::string(line);
  if (shift.added) return shift.prefix + std::string(line);
  if (line.starts_with(shift.prefix)) return std::string(line.substr(shift.prefix.size()));
  return std::string(line.substr(std::min(indentation(line).size(), shift.prefix.size())));
}

// Whether the file's lines from `first` read as `old` line by line once
// trailing white space is ignored, and, at the indentation level, leading
// white space that differs by the same prefix on every line.
std::optional<Shift> lines_match(std::string_view text, const std::vector<Line>& lines, std::size_t first,
                                 const std::vector<std::string_view>& old, Match level) {
  std::optional<Shift> shift;
  if (level == Match::TrailingSpace) shift = Shift{};
  for (std::size_t j = 0; j < old.size(); ++j) {
    const Line& line = lines[first + j];
    const std::string_view have = trim_end(text.substr(line.start, line.end - line.start));
    const std::string_view want = trim_end(old[j]);
    if (level == Match::TrailingSpace) {
      if (have != want) return std::nullopt;
      continue;
    }
    if (have.empty() || want.empty()) {
      if (!have.empty() || !want.empty()) return std::nullopt;
      continue;
    }
    const std::string_view have_indent = indentation(have), want_indent = indentation(want);
    if (have.substr(have_indent.size()) != want.substr(want_indent.size())) return std::nullopt;
    if (!shift) shift = shift_between(have_indent, want_indent);
    if (!shift || !fits_shift(have_indent, want_indent, *shift)) return std::nullopt;
  }
  return shift;
}

// `old` matched whole lines at a tolerant level; the replacement takes the
// matched lines' line break and, at the indentation level, their shift.
Places line_places(std::string_view text, const std::vector<Line>& lines, std::string_view old,
                   std::string_view replacement, Match level) {
  Places places;
  const std::vector<std::string_view> old_lines = split_lines(old);
  if (std::ranges::all_of(old_lines, [](std::string_view l) { return trim_end(l).empty(); })) return places;
  if (old_lines.size() > lines.size()) return places;
  for (std::size_t i = 0; i + old_lines.size() <= lines.size(); ++i) {
    const std::optional<Shift> shift = lines_match(text, lines, i, old_lines, level);
    if (!shift) continue;
    if (places.count == 0) {
      const Line& first = lines[i];
      const std::string_view line_break = first.end < text.size() && text[first.end] == '\r' ? "\r\n" : "\n";
      std::string joined;
      bool first_piece = true;
      for (std::string_view piece : split_lines(replacement)) {
        if (!std::exchange(first_piece, false)) joined += line_break;
        joined += level == Match::Indentation ? reindented(piece, *shift) : std::string(piece);
      }
      places.begin = first.start;
      places.end = lines[i + old_lines.size() - 1].end;
      places.replacement = std::move(joined);
    }
    places.add(i + 1);
  }
  return places;
}

std::string_view level_words(Match level) {
  switch (level) {
    case Match::Exact: return "";
    case Match::TrailingSpace: return " when trailing white space and line endings are ignored";
    case Match::Indentation: return " when indentation is ignored";
  }
  return "";
}

std::string line_list(const Places& places) {
  std::string list;
  for (std::size_t line : places.lines) list += (list.empty() ? "" : ", ") + std::to_string(line);
  if (places.count > places.lines.size()) list += ", …";
  return list;
}

// How alike two lines are, from 0 to 1: the share of their characters in
// a common start and end. Blank lines tell little, so they count little.
double likeness(std::string_view a, std::string_view b) {
  a = trim(a);
  b = trim(b);
  if (a.empty() || b.empty()) return a.empty() && b.empty() ? 0.1 : 0.0;
  if (a == b) return 1.0;
  std::size_t prefix = 0;
  while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) ++prefix;
  std::size_t suffix = 0;
  while (suffix < a.size() - prefix && suffix < b.size() - prefix && a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix])
    ++suffix;
  return static_cast<double>(prefix + suffix) / static_cast<double>(std::max(a.size(), b.size()));
}

// The lines of the file most like `old`, numbered, so that ChatGPT can
// copy the real text in its next reply.
std::string closest_lines(std::string_view text, const std::vector<Line>& lines, std::string_view old) {
  if (lines.empty()) return "The file is empty.";
  std::vector<std::string_view> wanted = split_lines(old);
  if (wanted.size() > kClosestLinesShown) wanted.resize(kClosestLinesShown);
  const std::size_t window = std::min(wanted.size(), lines.size());
  std::size_t best = 0;
  double best_score = -1;
  for (std::size_t i = 0; i + window <= lines.size(); ++i) {
    double score = 0;
    for (std::size_t j = 0; j < window; ++j)
      score += likeness(text.substr(lines[i + j].start, lines[i + j].end - lines[i + j].start), wanted[j]);
    if (score > best_score) {
      best_score = score;
      best = i;
    }
  }
  std::string shown = fmt::format("The closest lines of the file ({}–{}) are:", best + 1, best + window);
  for (std::size_t i = best; i < best + window; ++i)
    shown += fmt::format("\n{}: {}", i + 1,
                         shortened(text.substr(lines[i].start, lines[i].end - lines[i].start), kShownLineChars));
  return shown;
}

// Lines that an edit took out and put in, leaving out those it kept at
// either end (the context given around the change).
std::pair<std::size_t, std::size_t> changed_lines(std::string_view before, std::string_view after) {
  const std::string before_lf = with_lf(before), after_lf = with_lf(after);
  const std::vector<std::string_view> old_lines = split_at_feeds(before_lf);
  const std::vector<std::string_view> new_lines = split_at_feeds(after_lf);
  std::size_t same_start = 0;
  while (same_start < old_lines.size() && same_start < new_lines.size() &&
         old_lines[same_start] == new_lines[same_start])
    ++same_start;
  std::size_t same_end = 0;
  while (same_end < old_lines.size() - same_start && same_end < new_lines.size() - same_start &&
         old_lines[old_lines.size() - 1 - same_end] == new_lines[new_lines.size() - 1 - same_end])
    ++same_end;
  return {new_lines.size() - same_start - same_end, old_lines.size() - same_start - same_end};
}

Result<Match> apply_edit(std::string& text, const Edit& edit, EditedText& outcome) {
  if (edit.old_text.empty()) return failure("\"old\" is empty; give the exact text to replace (write_file replaces a whole file)");
  const Endings endings = endings_of(text);
  const std::string old = in_endings(edit.old_text, endings);
  const std::string replacement = in_endings(edit.new_text, endings);
  const std::vector<Line> lines = lines_of(text);
  for (Match level : {Match::Exact, Match::TrailingSpace, Match::Indentation}) {
    const Places places = level == Match::Exact ? exact_places(text, lines, old, replacement)
                                                : line_places(text, lines, old, replacement, level);
    if (places.count == 0) continue;
    if (places.count > 1)
      return failure(fmt::format("the old text occurs {} times{} (at lines {}). Give more of the surrounding lines, so "
                                 "that it occurs only once.",
                                 places.count, level_words(level), line_list(places)));
    const auto [added, removed] =
        changed_lines(std::string_view(text).substr(places.begin, places.end - places.begin), places.replacement);
    outcome.lines_added += added;
    outcome.lines_removed += removed;
    text.replace(places.begin, places.end - places.begin, places.replacement);
    return level;
  }
  return failure(fmt::format("the old text was not found, even ignoring white space at the ends of lines. {}\nCopy "
                             "\"old\" exactly from the file (read it again if it may have changed).",
                             closest_lines(text, lines, old)));
}

// What ChatGPT should know of edits that matched only tolerantly.
std::string tolerance_note(const std::vector<Match>& matches) {
  std::string note;
  for (std::size_t i = 0; i < matches.size(); ++i) {
    if (matches[i] == Match::Exact) continue;
    note += (note.empty() ? "" : " ") + fmt::format("Edit {} matched only{}", i + 1, level_words(matches[i]));
    note += matches[i] == Match::Indentation ? "; its new text was re-indented by the same difference." : ".";
  }
  return note;
}

}  // namespace

Result<EditedText> apply_edits(std::string_view text, const std::vector<Edit>& edits) {
  EditedText outcome{.text = std::string(text), .matches = {}};
  for (std::size_t i = 0; i < edits.size(); ++i) {
    auto level = apply_edit(outcome.text, edits[i], outcome);
    if (!level) return failure(fmt::format("Edit {} of {}: {}", i + 1, edits.size(), level.error()));
    outcome.matches.push_back(*level);
  }
  return outcome;
}

Result<Json> edit_file_action(const Action& action, ExecutionContext& context) {
  if (!action.path) return failure("Missing path");
  if (!action.edits) return failure("Missing edits");
  if (action.edits->empty()) return failure("No edits given");
  auto read = read_for_change(context, *action.path, kMaxEditedFileBytes + 1);
  if (!read && read.error() == os_error_text(ENOENT))
    return failure(read.error() + "; edit_file changes an existing file, write_file creates one");
  if (!read) return std::unexpected(read.error());
  const std::string* content = &read->content;
  if (content->size() > kMaxEditedFileBytes) return failure("File exceeds 1 MB");
  if (!is_valid_utf8(*content)) return failure("File is not UTF-8 text");
  auto edited = apply_edits(*content, *action.edits);
  if (!edited) return std::unexpected(edited.error());
  if (auto written = write_confined(context, *action.path, edited->text, read->seen); !written)
    return std::unexpected(written.error());
  progress(context.out, i18n::tr(kEdited),
           fmt::format("{} (+{} −{})", one_line_text(*action.path), edited->lines_added, edited->lines_removed));
  Json result{{"bytes", edited->text.size()},
              {"edits", action.edits->size()},
              {"lines_added", edited->lines_added},
              {"lines_removed", edited->lines_removed},
              {"path", *action.path}};
  if (const std::string note = tolerance_note(edited->matches); !note.empty()) result["note"] = note;
  return result;
}
