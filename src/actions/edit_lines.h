// The line-by-line side of matching an edit: how an `old` fits the file's
// lines once white space is tolerated, and the lines that then replace
// them, keeping the file's own bytes wherever the edit leaves a line as
// it was.
#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "actions/edit_match.h"

namespace wendlebox {

// One line of the file: its text is [start, end), without the line break;
// its indentation ends at `indent_end`; the next line starts at `next`.
struct Line {
  std::size_t start, end, next, indent_end;
};

std::vector<Line> lines_of(std::string_view text);

inline std::string_view line_text(std::string_view text, const Line& line) {
  return text.substr(line.start, line.end - line.start);
}

std::string_view trim_end(std::string_view s);
std::string_view indentation(std::string_view s);

// The file's line breaks: every one "\r\n", none of them, or a mixture
// (which is left alone, as the edit gives it).
enum class Endings { Lf, Crlf, Mixed };

enum class Indent { None, Tabs, Spaces };

// How a text indents: with tabs or spaces (whichever begins more indented
// lines), and its unit: the commonest change of space indentation from
// one line to the next, of those up to 8 columns; when every change is
// wider (lines aligned under an opening bracket), the widest of 8, 4 and 2
// columns that three in four of them are multiples of.
class IndentHabit {
 public:
  void add(std::string_view line);
  // The lines added next do not continue those before.
  void restart() { previous_ = kNone; }
  Indent style() const;
  std::size_t unit() const;  // 4 when nothing tells

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t tabs_ = 0, spaces_ = 0, previous_ = kNone;
  std::array<std::size_t, 9> small_steps_{};  // how often each step up to 8 came
  std::size_t wide_steps_ = 0;
  std::array<std::size_t, 3> multiples_{};  // of the wider steps: of 8, 4 and 2
};

// How the file's indentation differs from the edit's, the same on every
// line: a prefix the file adds, or one it lacks.
struct Shift {
  std::string prefix;
  bool added = true;
};

// How an `old` fits the file at one place, at one tolerant level.
struct Fit {
  Match level = Match::TrailingSpace;
  std::size_t tab = 4;              // TabsAsSpaces: the columns of a tab
  Indent style = Indent::Spaces;    // TabsAsSpaces: what the file indents with
  Shift shift{};                    // Indentation
  long long columns = 0;            // TabsAsSpaces: the file's columns less the edit's
};

// Whether the file's lines from `first` read as `old` line by line at the
// level of `level` (whose tab and style it also carries), and how.
std::optional<Fit> fits_at(std::string_view text, const std::vector<Line>& lines, std::size_t first,
                           const std::vector<std::string_view>& old, const Fit& level);

// The text that replaces the file's lines from `first` that `old` matched,
// their final line break included. Lines of `replacement` that `old` also
// has keep the file's own bytes; the others are re-indented as `fit` says.
// A final line break is kept or dropped as `replacement` says; when
// neither `old` nor `replacement` ends with one, the file's stays. Fails with the number of the line of
// `replacement` that cannot be re-indented.
std::expected<std::string, std::size_t> rebuilt_lines(std::string_view text, const std::vector<Line>& lines,
                                                      std::size_t first, const std::vector<std::string_view>& old,
                                                      bool old_ends_with_break, std::string_view replacement,
                                                      Endings endings, const Fit& fit);

}  // namespace wendlebox
