#include "actions/edit_file.h"

#include <gtest/gtest.h>

#include "support/action_folder.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

struct EditCase {
  std::string name;
  std::string file;
  std::vector<Edit> edits;
  std::string result;  // the edited text, or the start of the error
  bool fails = false;
  std::vector<Match> matches{};
  std::size_t added = 0, removed = 0;
};

void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }

class ApplyEdits : public testing::TestWithParam<EditCase> {};

TEST_P(ApplyEdits, ChangesTheTextOrSaysWhyNot) {
  const EditCase& c = GetParam();
  auto edited = apply_edits(c.file, c.edits);
  if (c.fails) {
    ASSERT_FALSE(edited) << edited->text;
    EXPECT_EQ(edited.error().message.substr(0, c.result.size()), c.result) << edited.error();
    return;
  }
  ASSERT_TRUE(edited) << edited.error();
  EXPECT_EQ(edited->text, c.result);
  EXPECT_EQ(edited->matches, c.matches);
  EXPECT_EQ(edited->lines_added, c.added);
  EXPECT_EQ(edited->lines_removed, c.removed);
}

std::string repeated(std::string_view text, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += text;
  return out;
}

const std::string kCode = "int main() {\n  int x = 1;\n  return x;\n}\n";

INSTANTIATE_TEST_SUITE_P(
    Table, ApplyEdits,
    testing::Values(
        EditCase{"exact_with_context", kCode, {{"  int x = 1;\n  return x;", "  int x = 2;\n  return x;"}},
                 "int main() {\n  int x = 2;\n  return x;\n}\n", false, {Match::Exact}, 1, 1},
        EditCase{"each_edit_sees_the_ones_before", "ab", {{"a", "x"}, {"xb", "yz\nw"}}, "yz\nw", false,
                 {Match::Exact, Match::Exact}, 3, 2},
        EditCase{"deleting_a_line", "a\nb\nc\n", {{"a\nb\n", "a\n"}}, "a\nc\n", false, {Match::Exact}, 0, 1},
        EditCase{"ambiguous_names_count_and_lines", "f();\ng();\nf();\n", {{"f();", "h();"}},
                 "Edit 1 of 1: the old text occurs 2 times (at lines 1, 3). Give more of the surrounding lines", true},
        EditCase{"not_found_quotes_the_closest_lines", kCode, {{"  int y = 1;\n  return y;\n", ""}},
                 "Edit 1 of 1: the old text was not found, even ignoring white space at the ends of lines. The closest "
                 "lines of the file (2–3) are:\n2:   int x = 1;\n3:   return x;\nCopy \"old\" exactly",
                 true},
        EditCase{"one_failing_edit_fails_all", kCode, {{"int main", "int start"}, {"absent", "x"}},
                 "Edit 2 of 2: the old text was not found", true},
        EditCase{"empty_old", kCode, {{"", "x"}}, "Edit 1 of 1: \"old\" is empty", true},
        EditCase{"crlf_file_stays_crlf", "a\r\nb\r\nc\r\n", {{"b\n", "B\nB2\n"}}, "a\r\nB\r\nB2\r\nc\r\n", false,
                 {Match::Exact}, 2, 1},
        EditCase{"lf_file_stays_lf", "a\nb\n", {{"a\r\n", "x\r\ny\r\n"}}, "x\ny\nb\n", false, {Match::Exact}, 2, 1},
        EditCase{"trailing_space_tolerated_and_kept_where_unchanged", "x = 1;   \ny = 2;\t\nz\n",
                 {{"x = 1;\ny = 2;\n", "x = 3;\ny = 2;\n"}}, "x = 3;\ny = 2;\t\nz\n", false, {Match::TrailingSpace}, 1, 1},
        EditCase{"mixed_endings_tolerated_line_by_line", "a\r\nb\nc\n", {{"a\nb\n", "a\nB\n"}}, "a\r\nB\nc\n", false,
                 {Match::TrailingSpace}, 1, 1},
        EditCase{"deeper_indentation_tolerated_and_new_reindented", "    if (a) {\n        b();\n    }\n",
                 {{"if (a) {\n    b();\n}", "if (a) {\n    c();\n\n    d();\n}"}},
                 "    if (a) {\n        c();\n\n        d();\n    }\n", false, {Match::Indentation}, 3, 1},
        EditCase{"shallower_indentation_tolerated", "x\n\ty\n", {{"\tx\n\t\ty", "\tz\n\t\ty"}}, "z\n\ty\n", false,
                 {Match::Indentation}, 1, 1},
        EditCase{"uneven_indentation_is_not_a_match", "  a\n    b\n", {{"a\nb", "c"}}, "Edit 1 of 1: the old text was not found",
                 true},
        EditCase{"ambiguous_when_tolerant", "a \nb\na\t\nb\n", {{"a\nb", "c"}},
                 "Edit 1 of 1: the old text occurs 2 times when trailing white space and line endings are ignored (at "
                 "lines 1, 3)",
                 true},
        // An edit for the build job typed a level short fitted the test
        // job's steps (whose items are not indented) from inside its
        // indentation.
        EditCase{"yaml_block_typed_a_level_short_lands_where_all_its_lines_fit",
                 "jobs:\n  build:\n    steps:\n      - run: make\n  test:\n    steps:\n    - run: make\n",
                 {{"  steps:\n    - run: make\n", "  steps:\n    - run: make\n    - run: make install\n"}},
                 "jobs:\n  build:\n    steps:\n      - run: make\n      - run: make install\n  test:\n    steps:\n    - "
                 "run: make\n",
                 false, {Match::Indentation}, 1, 0},
        EditCase{"python_line_typed_a_level_short_reindents_every_new_line",
                 "def f(x):\n    if x:\n        return 1\n    return 0\n", {{"    return 1", "    log(x)\n    return 1"}},
                 "def f(x):\n    if x:\n        log(x)\n        return 1\n    return 0\n", false, {Match::Indentation}, 1, 0},
        EditCase{"deleting_a_line_matched_without_its_trailing_blanks", "a\nb  \nc\n", {{"b\n", ""}}, "a\nc\n", false,
                 {Match::TrailingSpace}, 0, 1},
        EditCase{"deleting_a_line_matched_at_another_indentation", "    a\n    b\n    c\n", {{"  b", ""}},
                 "    a\n    c\n", false, {Match::Indentation}, 0, 1},
        EditCase{"deleting_a_line_typed_without_its_indentation", "  a\n  b\n  c\n", {{"b\n", ""}}, "  a\n  c\n", false,
                 {Match::Exact}, 0, 1},
        // Unchanged lines, between changes too, keep the file's bytes: here
        // a Markdown hard line break and a tab.
        EditCase{"unchanged_lines_keep_trailing_blanks", "# T\none\ntwo  \nthree\t\nfour\n",
                 {{"one\ntwo\nthree\nfour", "1\ntwo\nthree\n4"}}, "# T\n1\ntwo  \nthree\t\n4\n", false,
                 {Match::TrailingSpace}, 4, 4},
        EditCase{"dropped_final_line_break_joins_the_next_line", "a \nb\n", {{"a\n", "a, "}}, "a, b\n", false,
                 {Match::TrailingSpace}, 1, 2},
        EditCase{"tabs_typed_as_spaces", "func f() {\n\tif x {\n\t\treturn\n\t}\n}\n",
                 {{"    if x {\n        return\n    }", "    if x {\n        log()\n        return\n    }"}},
                 "func f() {\n\tif x {\n\t\tlog()\n\t\treturn\n\t}\n}\n", false, {Match::TabsAsSpaces}, 1, 0},
        EditCase{"spaces_typed_as_tabs_a_level_short", "def f():\n    if x:\n        return\n",
                 {{"if x:\n\treturn\n", "if x:\n\tlog()\n\treturn\n"}},
                 "def f():\n    if x:\n        log()\n        return\n", false, {Match::TabsAsSpaces}, 1, 0},
        EditCase{"tabs_typed_as_spaces_at_two_places", "\tif x {\n\t\ty()\n\t}\n\tif x {\n\t\ty()\n\t}\n",
                 {{"    if x {\n        y()", "z"}},
                 "Edit 1 of 1: the old text occurs 2 times when tabs and spaces in indentation are compared by width (at "
                 "lines 1, 4)",
                 true},
        EditCase{"tabs_typed_as_spaces_of_uneven_depth_are_not_a_match", "\ta\n\t\tb\n", {{"    a\n    b", "c"}},
                 "Edit 1 of 1: the old text was not found, even ignoring white space at the ends of lines. The file "
                 "indents with tabs, but \"old\" with spaces. The closest lines",
                 true},
        EditCase{"says_when_old_indents_with_tabs_and_the_file_with_spaces", "    a\n        b\n", {{"\ta\n\tb", "c"}},
                 "Edit 1 of 1: the old text was not found, even ignoring white space at the ends of lines. The file "
                 "indents with spaces, but \"old\" with tabs. The closest lines",
                 true},
        EditCase{"new_shallower_than_the_difference_is_refused", "a\n  b\n", {{"  a\n    b", "a\n    b"}},
                 "Edit 1 of 1: the old text matched when indentation is ignored at line 1, but line 1 of \"new\" is "
                 "indented less than that difference, so it cannot be re-indented.",
                 true},
        EditCase{"many_places_list_each_line_once_up_to_20", "x x\n" + repeated("x\n", 24), {{"x", "y"}},
                 "Edit 1 of 1: the old text occurs 26 times (at lines 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, "
                 "15, 16, 17, 18, 19, 20 and 5 more). Give",
                 true},
        // Lines that repeat all over the file are not compared at every one of
        // them: past a bound the edit is refused as one that names no place.
        EditCase{"old_of_lines_repeated_everywhere_is_refused", repeated("a\n", 5000), {{repeated("  a\n", 3000), "b"}},
                 "Edit 1 of 1: the lines of the old text occur at too many places to compare when indentation is "
                 "ignored. Give more",
                 true},
        EditCase{"empty_file", "", {{"a", "b"}}, "Edit 1 of 1: the old text was not found, even ignoring white space at "
                 "the ends of lines. The file is empty.", true}));

// The file actions as ChatGPT uses them, on real files.
class EditFile : public testing::Test, protected ActionFolder {
 protected:
  static Action edit(std::string path, std::vector<Edit> edits) {
    return Action{.type = "edit_file", .path = std::move(path), .edits = std::move(edits)};
  }
  TempDir elsewhere;
};

TEST_F(EditFile, WritesTheEditedFileAndSaysWhatChanged) {
  write_text(dir.path / "a.cc", kCode);
  fs::permissions(dir.path / "a.cc", fs::perms(0640));
  auto edited = run(edit("a.cc", {{"int x = 1;", "int x = 2;\n  int y = 3;"}, {"  return x;\n", "  return x;\n"}}));
  ASSERT_TRUE(edited) << edited.error();
  EXPECT_EQ(*edited, (Json{{"bytes", kCode.size() + 13}, {"edits", 2}, {"lines_added", 2}, {"lines_removed", 1},
                           {"path", "a.cc"}}));
  EXPECT_EQ(read_text(dir.path / "a.cc"), "int main() {\n  int x = 2;\n  int y = 3;\n  return x;\n}\n");
  EXPECT_EQ(fs::status(dir.path / "a.cc").permissions(), fs::perms(0640));
  EXPECT_EQ(output.str(), "Edited a.cc (+2 −1)\n1   int main() {\n2 -   int x = 1;\n2 +   int x = 2;\n3 +   int y = 3;\n"
                          "4     return x;\n5   }\n");

  auto tolerant = run(edit("a.cc", {{"  int y = 3;   \n", "  int y = 4;\n"},
                                     {" int main() {\n   int x = 2;", " int main() {\n   int x = 5;"},
                                     {"\treturn x;", "\treturn x + 0;"}}));
  ASSERT_TRUE(tolerant) << tolerant.error();
  EXPECT_EQ(read_text(dir.path / "a.cc"), "int main() {\n  int x = 5;\n  int y = 4;\n  return x + 0;\n}\n");
  EXPECT_EQ((*tolerant)["note"],
            "Edit 1 matched only when trailing white space and line endings are ignored. Edit 2 matched only when "
            "indentation is ignored; its new text was re-indented by the same difference. Edit 3 matched only when "
            "tabs and spaces in indentation are compared by width; its new text was re-indented with the file's own "
            "tabs or spaces.");
}

TEST_F(EditFile, AFailingEditLeavesTheFileUntouched) {
  write_text(dir.path / "a.cc", kCode);
  EXPECT_FALSE(run(edit("a.cc", {{"int main", "int start"}, {"absent", "x"}})));
  EXPECT_EQ(read_text(dir.path / "a.cc"), kCode);
}

// Each refusal leaves every file as it was and names the path on the
// failure line, escaped when it holds control characters.
TEST_F(EditFile, KeepsTheLimitsAndConfinementOfWrites) {
  write_text(dir.path / "big.txt", std::string(999'990, 'x') + "\nend\n");
  write_text(dir.path / "huge.txt", std::string(16'000'000, 'x') + "\n");
  write_text(dir.path / ".git/config", "[core]\n");
  write_text(elsewhere.path / "secret.txt", "s\n");
  fs::create_symlink(elsewhere.path / "secret.txt", dir.path / "link.txt");
  write_text(dir.path / "latin1.txt", "caf\xe9\n");
  struct Refusal {
    Action action;
    std::string error;
  };
  const std::vector<Refusal> refusals{
      {edit("big.txt", {{"end", "the end of it all"}}), "File exceeds 1 MB"},  // once edited
      {edit("huge.txt", {{"x", "y"}}), "File exceeds 16 MB"},
      {edit(".git/config", {{"[core]", "[core]\n\tfsmonitor = evil"}}), "Files inside a .git folder cannot be written"},
      {edit("link.txt", {{"s", "t"}}), "Path is outside the working and allowed folders"},
      {edit((elsewhere.path / "secret.txt").string(), {{"s", "t"}}), "Path is outside the working and allowed folders"},
      {edit("../secret.txt", {{"s", "t"}}), "Path cannot contain '..'"},
      {edit("latin1.txt", {{"caf", "cafe"}}), "File is not UTF-8 text"},
      {edit("new.txt", {{"a", "b"}}),
       "No such file or directory; edit_file changes an existing file, write_file creates one"},
      {Action{.type = "edit_file", .path = "big.txt"}, "Missing edits"},
      {edit("big.txt", {}), "No edits given"},
  };
  for (const Refusal& refusal : refusals) {
    auto result = run(refusal.action);
    ASSERT_FALSE(result) << *refusal.action.path;
    EXPECT_EQ(result.error().message, refusal.error);
  }
  EXPECT_EQ(read_text(elsewhere.path / "secret.txt"), "s\n");
  EXPECT_EQ(read_text(dir.path / ".git/config"), "[core]\n");
  EXPECT_FALSE(fs::exists(dir.path / "new.txt"));
  EXPECT_EQ(run(edit("new.txt", {{"a", "b"}})).error().kind, ErrorKind::NotFound);
  EXPECT_NE(output.str().find("edit_file big.txt failed: File exceeds 1 MB\n"), std::string::npos) << output.str();

  EXPECT_FALSE(run(edit("evil\x1b[2J\r.txt", {{"a", "b"}})));
  EXPECT_EQ(output.str().find('\x1b'), std::string::npos);
  EXPECT_NE(output.str().find("edit_file evil\\x1b[2J\\r.txt failed: "), std::string::npos) << output.str();
}

}  // namespace

}  // namespace wendlebox
