#include "actions/edit_match.h"

#include <algorithm>
#include <optional>

#include <fmt/format.h>

#include "actions/edit_lines.h"
#include "common/text.h"

namespace wendlebox {

namespace {

constexpr std::size_t kLinesListed = 20;
constexpr std::size_t kClosestLinesShown = 12;
constexpr std::size_t kShownLineChars = 200;
// Lines compared at the indentation levels for one edit, past which the
// places are too many to tell: a long `old` of lines that repeat would
// otherwise be compared in full at nearly every line of a large file.
constexpr std::size_t kMaxComparedLines = std::size_t{1} << 22;

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

// The places an edit could apply at one level: how many, on which lines
// (each line once), and the first of them with how it fits there.
struct Places {
  std::size_t count = 0;
  std::size_t line_count = 0;
  std::vector<std::size_t> lines;  // the first few line numbers
  std::size_t first = 0;           // an offset (exact) or a line index
  Fit fit;
  bool uncounted = false;          // too many to compare: more than `count`

  void add(std::size_t line) {
    ++count;
    if (line_count > 0 && line == last_line) return;
    ++line_count;
    last_line = line;
    if (lines.size() < kLinesListed) lines.push_back(line);
  }

 private:
  std::size_t last_line = 0;
};

std::size_t line_index(const std::vector<Line>& lines, std::size_t offset) {
  auto after = std::ranges::upper_bound(lines, offset, {}, &Line::start);
  return static_cast<std::size_t>(after - lines.begin()) - 1;
}

// Every occurrence of `old` as given, except those that begin inside a
// line's indentation: there the first line's indentation would go
// unchecked, and an `old` typed a level too shallow would land in a
// deeper block that happens to hold the same lines. Such an `old` is
// left to the levels that compare whole lines.
Places exact_places(std::string_view text, const std::vector<Line>& lines, std::string_view old) {
  Places places;
  for (std::size_t at = text.find(old); at != std::string_view::npos; at = text.find(old, at + 1)) {
    const std::size_t index = line_index(lines, at);
    if (at > lines[index].start && at < lines[index].indent_end) continue;
    if (places.count == 0) places.first = at;
    places.add(index + 1);
  }
  return places;
}

// A line as a tolerant level compares it first: without white space at
// its end and, where indentation may differ, without its indentation.
std::string_view line_key(std::string_view line, bool without_indent) {
  line = trim_end(line);
  return without_indent ? line.substr(indentation(line).size()) : line;
}

// The lines of the file where `old`'s keys begin a run of equal keys
// (Knuth-Morris-Pratt): only there can `old` fit, and the search costs the
// file's length, however long `old` is and however often its lines repeat.
std::vector<std::size_t> key_runs(const std::vector<std::string_view>& file, const std::vector<std::string_view>& old) {
  std::vector<std::size_t> fallback(old.size(), 0);
  for (std::size_t i = 1, k = 0; i < old.size(); ++i) {
    while (k > 0 && old[i] != old[k]) k = fallback[k - 1];
    if (old[i] == old[k]) ++k;
    fallback[i] = k;
  }
  std::vector<std::size_t> starts;
  for (std::size_t i = 0, k = 0; i < file.size(); ++i) {
    while (k > 0 && file[i] != old[k]) k = fallback[k - 1];
    if (file[i] == old[k]) ++k;
    if (k == old.size()) {
      starts.push_back(i + 1 - k);
      k = fallback[k - 1];
    }
  }
  return starts;
}

Places line_places(std::string_view text, const std::vector<Line>& lines, const std::vector<std::string_view>& old,
                   const Fit& level) {
  Places places;
  if (std::ranges::all_of(old, [](std::string_view l) { return trim_end(l).empty(); })) return places;
  if (old.size() > lines.size()) return places;
  const bool without_indent = level.level != Match::TrailingSpace;
  std::vector<std::string_view> file_keys, old_keys;
  for (const Line& line : lines) file_keys.push_back(line_key(line_text(text, line), without_indent));
  for (std::string_view line : old) old_keys.push_back(line_key(line, without_indent));
  std::size_t compared = 0;
  for (std::size_t i : key_runs(file_keys, old_keys)) {
    // Equal keys are the whole of a fit at the first tolerant level.
    if (without_indent && (compared += old.size()) > kMaxComparedLines) {
      places.uncounted = true;
      return places;
    }
    const std::optional<Fit> fit = without_indent ? fits_at(text, lines, i, old, level) : std::optional<Fit>(level);
    if (!fit) continue;
    if (places.count == 0) {
      places.first = i;
      places.fit = *fit;
    }
    places.add(i + 1);
  }
  return places;
}

// Tabs typed as spaces, or spaces as tabs: a tab counts as one step of
// indentation of the side that uses spaces, or else as 4, 8 or 2 columns.
// Every width that fits must find the same one place.
Places tab_places(std::string_view text, const std::vector<Line>& lines, const std::vector<std::string_view>& old,
                  std::size_t preferred, Indent style) {
  Places chosen;
  std::vector<std::size_t> tried;
  for (std::size_t tab : {preferred, std::size_t{4}, std::size_t{8}, std::size_t{2}}) {
    if (std::ranges::find(tried, tab) != tried.end()) continue;
    tried.push_back(tab);
    Places found = line_places(text, lines, old, Fit{.level = Match::TabsAsSpaces, .tab = tab, .style = style});
    if (found.count > 1 || found.uncounted) return found;
    if (found.count == 0 || (chosen.count == 1 && found.first == chosen.first)) continue;
    if (chosen.count == 0) {
      chosen = std::move(found);
      continue;
    }
    Places both;
    both.add(std::min(chosen.first, found.first) + 1);
    both.add(std::max(chosen.first, found.first) + 1);
    return both;
  }
  return chosen;
}

std::string_view level_words(Match level) {
  switch (level) {
    case Match::Exact: return "";
    case Match::TrailingSpace: return " when trailing white space and line endings are ignored";
    case Match::Indentation: return " when indentation is ignored";
    case Match::TabsAsSpaces: return " when tabs and spaces in indentation are compared by width";
  }
  return "";
}

std::string line_list(const Places& places) {
  std::string list = places.line_count == 1 ? "line " : "lines ";
  for (std::size_t i = 0; i < places.lines.size(); ++i) list += (i == 0 ? "" : ", ") + std::to_string(places.lines[i]);
  if (places.line_count > places.lines.size())
    list += fmt::format(" and {} more", places.line_count - places.lines.size());
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
    for (std::size_t j = 0; j < window; ++j) score += likeness(line_text(text, lines[i + j]), wanted[j]);
    if (score > best_score) {
      best_score = score;
      best = i;
    }
  }
  std::string shown = fmt::format("The closest lines of the file ({}–{}) are:", best + 1, best + window);
  for (std::size_t i = best; i < best + window; ++i)
    shown += fmt::format("\n{}: {}", i + 1, shortened(line_text(text, lines[i]), kShownLineChars));
  return shown;
}

// Said when the file and `old` indent with different characters, the
// likeliest reason that a copied block is not found.
std::string indentation_hint(const IndentHabit& file, const IndentHabit& old) {
  if (file.style() == Indent::Tabs && old.style() == Indent::Spaces)
    return " The file indents with tabs, but \"old\" with spaces.";
  if (file.style() == Indent::Spaces && old.style() == Indent::Tabs)
    return " The file indents with spaces, but \"old\" with tabs.";
  return "";
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

// The span an edit replaces and what goes there.
struct Change {
  std::size_t begin = 0, end = 0;
  std::string replacement;
};

// An exact match replaces just what `old` names, except that deleting
// whole lines whose `old` began after their indentation takes the
// indentation too, so it is not left in front of the next line.
Change exact_change(const std::vector<Line>& lines, std::size_t at, std::string_view old, std::string replacement) {
  Change change{at, at + old.size(), std::move(replacement)};
  const Line& line = lines[line_index(lines, at)];
  if (change.replacement.empty() && old.ends_with('\n') && at == line.indent_end) change.begin = line.start;
  return change;
}

Result<Match> apply_edit(std::string& text, const Edit& edit, EditedText& outcome) {
  if (edit.old_text.empty()) return failure("\"old\" is empty; give the exact text to replace (write_file replaces a whole file)");
  const Endings endings = endings_of(text);
  const std::string old = in_endings(edit.old_text, endings);
  const std::string replacement = in_endings(edit.new_text, endings);
  const std::vector<Line> lines = lines_of(text);
  const std::vector<std::string_view> old_lines = split_lines(old);
  // How the file and `old` indent matters only once the levels that
  // compare characters have found nothing.
  IndentHabit file_habit, old_habit;
  auto tab_places_of_habits = [&] {
    IndentHabit edit_habit;
    for (const Line& line : lines) file_habit.add(line_text(text, line));
    for (std::string_view line : old_lines) {
      old_habit.add(line);
      edit_habit.add(line);
    }
    edit_habit.restart();
    for (std::string_view line : split_lines(replacement)) edit_habit.add(line);
    // A tab is as wide as one step of indentation on the side that uses
    // spaces: ChatGPT's own text, or the file when ChatGPT typed tabs.
    const std::size_t tab = edit_habit.style() == Indent::Tabs ? file_habit.unit() : edit_habit.unit();
    return tab_places(text, lines, old_lines, tab, file_habit.style() == Indent::Tabs ? Indent::Tabs : Indent::Spaces);
  };

  for (Match level : {Match::Exact, Match::TrailingSpace, Match::Indentation, Match::TabsAsSpaces}) {
    const Places places = level == Match::Exact          ? exact_places(text, lines, old)
                          : level == Match::TabsAsSpaces ? tab_places_of_habits()
                                                         : line_places(text, lines, old_lines, Fit{.level = level});
    if (places.uncounted)
      return failure(fmt::format("the lines of the old text occur at too many places to compare{}. Give more of the "
                                 "surrounding lines, so that it occurs only once.",
                                 level_words(level)));
    if (places.count == 0) continue;
    if (places.count > 1)
      return failure(fmt::format("the old text occurs {} times{} (at {}). Give more of the surrounding lines, so "
                                 "that it occurs only once.",
                                 places.count, level_words(level), line_list(places)));
    Change change;
    if (level == Match::Exact) {
      change = exact_change(lines, places.first, old, replacement);
    } else {
      auto rebuilt = rebuilt_lines(text, lines, places.first, old_lines, old.ends_with('\n'), replacement,
                                   endings, places.fit);
      if (!rebuilt)
        return failure(fmt::format("the old text matched{} at line {}, but line {} of \"new\" is indented less than "
                                   "that difference, so it cannot be re-indented. Give \"old\" and \"new\" with the "
                                   "file's own indentation.",
                                   level_words(level), places.first + 1, rebuilt.error()));
      change = {lines[places.first].start, lines[places.first + old_lines.size() - 1].next, std::move(*rebuilt)};
    }
    const auto [added, removed] =
        changed_lines(std::string_view(text).substr(change.begin, change.end - change.begin), change.replacement);
    outcome.lines_added += added;
    outcome.lines_removed += removed;
    text.replace(change.begin, change.end - change.begin, change.replacement);
    return level;
  }
  return failure(fmt::format("the old text was not found, even ignoring white space at the ends of lines.{} {}\nCopy "
                             "\"old\" exactly from the file (read it again if it may have changed).",
                             indentation_hint(file_habit, old_habit), closest_lines(text, lines, old)));
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

std::string tolerance_note(const std::vector<Match>& matches) {
  std::string note;
  for (std::size_t i = 0; i < matches.size(); ++i) {
    if (matches[i] == Match::Exact) continue;
    note += (note.empty() ? "" : " ") + fmt::format("Edit {} matched only{}", i + 1, level_words(matches[i]));
    if (matches[i] == Match::Indentation) note += "; its new text was re-indented by the same difference.";
    else if (matches[i] == Match::TabsAsSpaces) note += "; its new text was re-indented with the file's own tabs or spaces.";
    else note += ".";
  }
  return note;
}

}  // namespace wendlebox
