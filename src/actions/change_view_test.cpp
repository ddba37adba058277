#include "actions/change_view.h"

#include <gtest/gtest.h>

#include <sstream>

#include "actions/line_diff.h"
#include "line_editor/line_editor.h"

namespace wendlebox {

namespace {

std::string numbered(int from, int to, const std::string& prefix = "line ") {
  std::string text;
  for (int i = from; i <= to; ++i) text += prefix + std::to_string(i) + "\n";
  return text;
}

std::string shown(std::optional<std::string> before, const std::string& after, std::size_t columns = 80,
                  bool colours = false) {
  std::stringstream out;
  const Printer printer(out, false, colours, columns);
  show_change(printer, before ? std::optional<std::string_view>(*before) : std::nullopt, after);
  return out.str();
}

struct ViewCase {
  const char* what;
  std::optional<std::string> before;
  std::string after;
  std::string expected;
};

TEST(ChangeView, ChangedLinesWithNumbersAndContext) {
  const std::string ten = numbered(1, 10);
  const std::string thirty = numbered(1, 30, "x");
  std::string many_changed = thirty;
  for (int i = 1; i <= 25; ++i) many_changed.replace(many_changed.find("x" + std::to_string(i) + "\n"), 1, "y");
  const ViewCase cases[] = {
      {"one line replaced in the middle", ten, numbered(1, 4) + "new five\n" + numbered(6, 10),
       "3   line 3\n4   line 4\n5 - line 5\n5 + new five\n6   line 6\n7   line 7\n"},
      {"two places far apart, with a gap between", ten, "first\n" + numbered(2, 9) + "last\n",
       " 1 - line 1\n 1 + first\n 2   line 2\n 3   line 3\n   ⋯\n 8   line 8\n 9   line 9\n10 - line 10\n10 + last\n"},
      {"a line inserted and one deleted", ten, numbered(1, 2) + "inserted\n" + numbered(3, 8) + numbered(10, 10),
       " 1   line 1\n 2   line 2\n 3 + inserted\n 4   line 3\n 5   line 4\n   ⋯\n 8   line 7\n 9   line 8\n 9 - line 9\n"
       "10   line 10\n"},
      {"a new file shows its first lines", std::nullopt, "a\nb\n", "1 + a\n2 + b\n"},
      {"a long new file stops after 20", std::nullopt, numbered(1, 23),
       " 1 + line 1\n 2 + line 2\n 3 + line 3\n 4 + line 4\n 5 + line 5\n 6 + line 6\n 7 + line 7\n 8 + line 8\n"
       " 9 + line 9\n10 + line 10\n11 + line 11\n12 + line 12\n13 + line 13\n14 + line 14\n15 + line 15\n"
       "16 + line 16\n17 + line 17\n18 + line 18\n19 + line 19\n20 + line 20\n… 3 more lines\n"},
      {"nothing changed shows nothing", ten, ten, ""},
      {"only line endings changed", "a\nb\n", "a\r\nb\r\n", "(only line endings or the final line break changed)\n"},
      // What a file holds never reaches the terminal as control sequences.
      {"a hostile line is shown, not obeyed", "a\n", "\x1b[2J\x1b]0;owned\x07\ttab\n",
       "1 - a\n1 + \\x1b[2J\\x1b]0;owned\\x07    tab\n"},
  };
  for (const ViewCase& c : cases) EXPECT_EQ(shown(c.before, c.after), c.expected) << c.what;

  // 25 changed lines (each a removal and an addition): 20 shown, then how many more.
  const std::string many = shown(thirty, many_changed);
  EXPECT_TRUE(many.starts_with(" 1 - x1\n 2 - x2\n")) << many;
  EXPECT_TRUE(many.ends_with("20 - x20\n… 30 more changed lines\n")) << many;
  EXPECT_EQ(many.find('+'), std::string::npos) << many;
}

TEST(ChangeView, LinesFitTheWidthAndChangesAreColoured) {
  const std::string before = "short\n" + std::string(300, 'a') + "\n";
  const std::string after = "short\n" + std::string(300, 'b') + "\n";
  for (std::size_t columns : {80u, 40u}) {
    const std::string text = shown(before, after, columns);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) EXPECT_LT(line_editor::display_width(line), columns) << line;
    EXPECT_NE(text.find("2 - aaa"), std::string::npos) << text;
  }
  EXPECT_EQ(shown("a\n", "b\n", 80, true), "\x1b[31m1 - a\x1b[0m\n\x1b[32m1 + b\x1b[0m\n");
}

std::string reviewed(std::optional<std::string> before, const std::string& after, std::size_t columns,
                     bool expect_shown = true) {
  std::stringstream out;
  const Printer printer(out, false, false, columns);
  EXPECT_EQ(show_change_for_review(printer, before ? std::optional<std::string_view>(*before) : std::nullopt, after),
            expect_shown);
  return out.str();
}

// What the user approves is never cut: long lines wrap onto rows marked
// "↪", long runs of blanks show their length, and every changed line shows.
TEST(ChangeView, ForReviewEveryChangedLineIsShownWhole) {
  const std::string hidden = "x = 1" + std::string(300, ' ') + "; os.system(\"rm -rf ~\")\n";
  const ViewCase cases[] = {
      {"blanks that would push text out of sight", "a\n", hidden,
       "1 - a\n1 + x = 1·×300; os.system(\"rm -\n  ↪ rf ~\")\n"},
      {"a long line wraps at the width", "a\n", std::string(40, 'b') + "\n",
       "1 - a\n1 + bbbbbbbbbbbbbbbbbbbbbbbbbbb\n  ↪ bbbbbbbbbbbbb\n"},
      {"short blank runs and control characters", std::nullopt, "\tif x:  \x1b[2J\t\t\t\t\t\t\t\tgo\n",
       "1 +     if x:  \\x1b[2J·×8go\n"},
  };
  for (const ViewCase& c : cases) {
    const std::string text = reviewed(c.before, c.after, 32);
    EXPECT_EQ(text, c.expected) << c.what;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) EXPECT_LT(line_editor::display_width(line), 32u) << line;
  }
  // The after-the-fact display still cuts.
  EXPECT_EQ(shown("a\n", hidden, 32), "1 - a\n1 + x = 1" + std::string(21, ' ') + "…\n");

  // 60 changed lines are all shown; past the bound nothing is offered.
  const std::string sixty = reviewed(numbered(1, 60), numbered(1, 60, "y"), 80);
  EXPECT_NE(sixty.find("60 + y60\n"), std::string::npos) << sixty;
  EXPECT_EQ(sixty.find("more changed"), std::string::npos) << sixty;
  EXPECT_EQ(reviewed(std::nullopt, numbered(1, kReviewedChangedLines + 1), 80, false),
            "This change is too long to review here (401 changed lines); it is not applied.\n");
  EXPECT_EQ(reviewed("a\n", "a\n" + std::string(kLongestReviewedLine + 1, 'z') + "\n", 80, false),
            "This change is too long to review here (1 changed lines); it is not applied.\n");
}

TEST(LineDiff, ShortestScriptThatRebuildsTheNewLines) {
  using Kind = DiffLine::Kind;
  const std::vector<std::string_view> a{"a", "b", "c", "a", "b", "b", "a"}, b{"c", "b", "a", "b", "a", "c"};
  for (std::size_t bound : {std::size_t{1000}, std::size_t{2}}) {
    const std::vector<DiffLine> diff = diff_lines(a, b, bound);
    std::vector<std::string_view> rebuilt_old, rebuilt_new;
    std::size_t changes = 0;
    for (const DiffLine& line : diff) {
      if (line.kind != Kind::Added) rebuilt_old.push_back(a[line.old_index]);
      if (line.kind != Kind::Removed) rebuilt_new.push_back(b[line.new_index]);
      if (line.kind == Kind::Same) {
        EXPECT_EQ(a[line.old_index], b[line.new_index]);
      }
      changes += line.kind != Kind::Same;
    }
    EXPECT_EQ(rebuilt_old, a);
    EXPECT_EQ(rebuilt_new, b);
    // Myers' own example needs 5 steps; past the bound every line is replaced.
    EXPECT_EQ(changes, bound == 2 ? a.size() + b.size() : 5u);
  }
}

}  // namespace

}  // namespace wendlebox
