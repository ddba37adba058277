#include "actions/change_view.h"

#include <algorithm>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "actions/line_diff.h"
#include "common/text.h"
#include "i18n/i18n.h"
#include "line_editor/line_editor.h"
#include "actions/messages.h"

namespace wendlebox {

namespace {

constexpr std::size_t kContextLines = 2;
// Where there is no terminal to fit, a line is still cut: a minified file
// is one line of a megabyte.
constexpr std::size_t kColumnsWithoutTerminal = 160;
// No screen shows more of a line than this; the rest is never looked at.
constexpr std::size_t kLongestShownLine = 1024;

using namespace messages::actions;

using Kind = DiffLine::Kind;

// One line as the terminal may show it: nothing in it can move the cursor
// or talk to the terminal, and a tab takes a known width.
std::string shown_text(std::string_view line) {
  std::string text = visible_text(first_chars(lossy_utf8(line.substr(0, kLongestShownLine * 4)), kLongestShownLine));
  std::string expanded;
  expanded.reserve(text.size());
  for (char c : text) expanded += c == '\t' ? std::string_view("    ") : std::string_view(&c, 1);
  return expanded;
}

// A run of this many blanks or more shows as one marker with its length,
// so that text after it is not pushed out of sight.
constexpr std::size_t kLongestBlankRun = 8;
constexpr std::size_t kNarrowestWrap = 10;

// A changed line as it is put to the user for approval: whole, with long
// runs of blanks (spaces and tabs) shown as "·×300".
std::string reviewed_text(std::string_view line) {
  std::string compressed;
  for (std::size_t pos = 0; pos < line.size();) {
    const std::size_t end = std::min(line.find_first_not_of(" \t", pos), line.size());
    if (end - pos >= kLongestBlankRun) {
      compressed += fmt::format("·×{}", end - pos);
      pos = end;
    } else if (end > pos) {
      compressed += line.substr(pos, end - pos);
      pos = end;
    } else {
      const std::size_t next = std::min(line.find_first_of(" \t", pos), line.size());
      compressed += line.substr(pos, next - pos);
      pos = next;
    }
  }
  std::string text = visible_text(lossy_utf8(compressed));
  std::string expanded;
  expanded.reserve(text.size());
  for (char c : text) expanded += c == '\t' ? std::string_view("    ") : std::string_view(&c, 1);
  return expanded;
}

// `text` in rows of fewer than `columns` columns.
std::vector<std::string> wrapped(std::string_view text, std::size_t columns) {
  std::vector<std::string> rows(1);
  std::size_t width = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t next = pos;
    next_char(text, next);
    const std::string_view one = text.substr(pos, next - pos);
    const std::size_t w = line_editor::display_width(one);
    if (width + w >= columns && width > 0) {
      rows.emplace_back();
      width = 0;
    }
    rows.back() += one;
    width += w;
    pos = next;
  }
  return rows;
}

class View {
 public:
  View(const Printer& out, std::size_t gutter, bool whole = false) : out_(out), gutter_(gutter), whole_(whole) {
    const std::size_t columns = out.columns();
    columns_ = columns == 0 ? kColumnsWithoutTerminal : columns;
  }

  void line(Kind kind, std::size_t number, std::string_view text) const {
    const char sign = kind == Kind::Removed ? '-' : kind == Kind::Added ? '+' : ' ';
    if (whole_ && kind != Kind::Same) return wrapped_line(kind, number, sign, text);
    const std::string whole =
        line_editor::fit_to_columns(fmt::format("{:>{}} {} {}", number, gutter_, sign, shown_text(text)), columns_);
    if (kind == Kind::Same)
      out_ << whole << '\n';
    else
      out_.line(kind == Kind::Removed ? Colour::removed : Colour::added, whole);
  }
  void gap() const { out_.line(Colour::dim, fmt::format("{:>{}}", "⋯", gutter_ + 2)); }
  void note(std::string_view text) const { out_.line(Colour::dim, line_editor::fit_to_columns(text, columns_)); }

 private:
  // Continuation rows carry no number and a grey "↪" where the sign is, so
  // none can pass for a line of the file.
  void wrapped_line(Kind kind, std::size_t number, char sign, std::string_view text) const {
    const Colour colour = kind == Kind::Removed ? Colour::removed : Colour::added;
    const std::size_t room = std::max(kNarrowestWrap, columns_ > gutter_ + 3 ? columns_ - gutter_ - 3 : 0);
    const std::vector<std::string> rows = wrapped(reviewed_text(text), room);
    out_.line(colour, fmt::format("{:>{}} {} {}", number, gutter_, sign, rows[0]));
    for (std::size_t r = 1; r < rows.size(); ++r)
      out_ << out_.paint(Colour::dim, fmt::format("{:>{}} ↪ ", "", gutter_)) << out_.paint(colour, rows[r]) << '\n';
  }

  const Printer& out_;
  std::size_t gutter_;
  std::size_t columns_;
  bool whole_;
};

std::size_t digits(std::size_t number) { return fmt::formatted_size("{}", number); }

// Whether the lines at `changed` in `lines` can all be put to the user whole.
template <typename Line>
bool reviewable(const std::vector<std::size_t>& changed, Line&& line) {
  if (changed.size() > kReviewedChangedLines) return false;
  for (std::size_t i : changed)
    if (char_count(reviewed_text(line(i))) > kLongestReviewedLine) return false;
  return true;
}

bool show_new_file(const Printer& out, const std::vector<std::string_view>& lines, bool whole) {
  const std::size_t limit = whole ? kReviewedChangedLines : kShownChangedLines;
  if (whole) {
    std::vector<std::size_t> all(lines.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    if (!reviewable(all, [&](std::size_t i) { return lines[i]; })) {
      View(out, 1).note(fmt::format(fmt::runtime(i18n::tr(kTooLongToReview)), lines.size()));
      return false;
    }
  }
  const std::size_t shown = std::min(lines.size(), limit);
  const View view(out, digits(std::max<std::size_t>(shown, 1)), whole);
  for (std::size_t i = 0; i < shown; ++i) view.line(Kind::Added, i + 1, lines[i]);
  if (lines.size() > shown)
    view.note(fmt::format(fmt::runtime(i18n::tr(kMoreLines)), lines.size() - shown));
  return true;
}

// `whole`: for review, every changed line shown whole, or nothing and false.
bool show(const Printer& out, std::optional<std::string_view> before, std::string_view after, bool whole) {
  const std::vector<std::string_view> new_lines = split_lines(after);
  if (!before) return show_new_file(out, new_lines, whole);
  if (*before == after) return true;
  const std::vector<std::string_view> old_lines = split_lines(*before);
  const std::vector<DiffLine> diff = diff_lines(old_lines, new_lines);

  std::vector<std::size_t> changed;  // places in `diff` of the lines taken out or put in
  for (std::size_t i = 0; i < diff.size(); ++i)
    if (diff[i].kind != Kind::Same) changed.push_back(i);
  const View probe(out, 1);
  if (changed.empty()) {
    probe.note(i18n::tr(kOnlyEndings));
    return true;
  }
  if (whole && !reviewable(changed, [&](std::size_t i) {
        return diff[i].kind == Kind::Removed ? old_lines[diff[i].old_index] : new_lines[diff[i].new_index];
      })) {
    probe.note(fmt::format(fmt::runtime(i18n::tr(kTooLongToReview)), changed.size()));
    return false;
  }

  const std::size_t shown = std::min(changed.size(), whole ? kReviewedChangedLines : kShownChangedLines);
  const std::size_t last_shown = changed[shown - 1];
  // The lines on screen: each shown change with the unchanged lines around
  // it; a change past the limit is never shown as context.
  std::vector<std::size_t> visible;
  for (std::size_t c = 0; c < shown; ++c) {
    const std::size_t at = changed[c];
    const std::size_t from = std::max(at >= kContextLines ? at - kContextLines : 0, visible.empty() ? 0 : visible.back() + 1);
    for (std::size_t i = from; i <= std::min(diff.size() - 1, at + kContextLines); ++i)
      if (diff[i].kind == Kind::Same || i <= last_shown) visible.push_back(i);
  }
  std::size_t widest = 1;
  for (std::size_t i : visible) widest = std::max(widest, (diff[i].kind == Kind::Removed ? diff[i].old_index : diff[i].new_index) + 1);
  const View view(out, digits(widest), whole);
  for (std::size_t v = 0; v < visible.size(); ++v) {
    const DiffLine& line = diff[visible[v]];
    if (v > 0 && visible[v] > visible[v - 1] + 1) view.gap();
    if (line.kind == Kind::Removed)
      view.line(Kind::Removed, line.old_index + 1, old_lines[line.old_index]);
    else
      view.line(line.kind, line.new_index + 1, new_lines[line.new_index]);
  }
  if (changed.size() > shown)
    view.note(fmt::format(fmt::runtime(i18n::tr(kMoreChanged)), changed.size() - shown));
  return true;
}

}  // namespace

void show_change(const Printer& out, std::optional<std::string_view> before, std::string_view after) {
  (void)show(out, before, after, false);
}

bool show_change_for_review(const Printer& out, std::optional<std::string_view> before, std::string_view after) {
  return show(out, before, after, true);
}

}  // namespace wendlebox
