#include "actions/search.h"

#include <gtest/gtest.h>

#include "process/process.h"
#include "support/action_folder.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

Json match(const std::string& path, int line, const std::string& text) {
  return Json{{"line", line}, {"path", path}, {"text", text}};
}

class Search : public testing::Test, protected ActionFolder {
 protected:
  void SetUp() override {
    write_text(dir.path / "src/a.cc", "int main() {\n  foo();\n}\n");
    write_text(dir.path / "src/b.h", "void foo();\r\n");
    write_text(dir.path / "docs/readme.md", "FOO here\n");
    write_text(dir.path / "build/gen.cc", "foo\n");
    write_text(dir.path / "notes.log", "foo\n");
    write_text(dir.path / ".gitignore", "build/\n*.log\n");
    write_text(dir.path / ".git/x", "foo\n");
    write_text(dir.path / ".wendlebox/y", "foo\n");
    write_text(dir.path / "bin.dat", std::string("\0foo\n", 5));
    write_text(dir.path / "huge.txt", std::string(9'000'000, 'x') + "\nfoo\n");
    fs::create_directory_symlink(elsewhere.path, dir.path / "out");
    write_text(elsewhere.path / "leak.txt", "foo\n");
  }
  Result<Json> search(Action action) {
    action.type = "search";
    return run(action);
  }
  TempDir elsewhere;
};

// Outside a Git repository only what is ignored by Git's rules is kept;
// inside one, what Git ignores is left out too.
TEST_F(Search, FindsLinesLeavingOutWhatNoOneWantsSearched) {
  ScopedEnv env;  // the program's own settings are never searched
  env.set("XDG_CONFIG_HOME", (dir.path / "config").string());
  write_text(dir.path / "config/wendlebox/settings.json", "{\"foo\": 1}");
  const Json everywhere = Json::array({match("build/gen.cc", 1, "foo"), match("notes.log", 1, "foo"),
                                       match("src/a.cc", 2, "  foo();"), match("src/b.h", 1, "void foo();")});
  auto plain = search({.pattern = "foo"});
  ASSERT_TRUE(plain) << plain.error();
  EXPECT_EQ(*plain, (Json{{"matches", everywhere}, {"truncated", false}}));

  ASSERT_TRUE(run_process({.argv = {"git", "init", "-q", dir.path.string()}}));
  auto in_git = search({.pattern = "foo"});
  ASSERT_TRUE(in_git);
  EXPECT_EQ((*in_git)["matches"], Json::array({everywhere[2], everywhere[3]}));
  EXPECT_EQ(output.str(), "Searched \"foo\" in . (4 matches)\nSearched \"foo\" in . (2 matches)\n");
  auto files = search({.glob = "*.json"});
  ASSERT_TRUE(files);
  EXPECT_EQ((*files)["files"], Json::array());
}

struct SearchCase {
  std::string name;
  Action action;
  Json expected;  // the matches or files, or the error text
};

TEST_F(Search, PatternsGlobsAndPlaces) {
  write_text(dir.path / "top.cc", "Foo(x)\n");
  const std::vector<SearchCase> cases{
      {"ignore_case", {.path = "docs", .pattern = "FOO", .ignore_case = true}, {match("docs/readme.md", 1, "FOO here")}},
      {"regex", {.pattern = "^\\s+fo+\\(\\)", .regex = true}, {match("src/a.cc", 2, "  foo();")}},
      {"literal_is_literal", {.pattern = "fo+"}, Json::array()},
      {"glob_filters_files", {.pattern = "foo", .glob = "*.h"}, {match("src/b.h", 1, "void foo();")}},
      {"one_file", {.path = "src/b.h", .pattern = "void"}, {match("src/b.h", 1, "void foo();")}},
      {"files_by_name", {.glob = "*.cc"}, {"build/gen.cc", "src/a.cc", "top.cc"}},
      {"files_by_path", {.glob = "src/*"}, {"src/a.cc", "src/b.h"}},
      {"double_star_crosses_folders", {.glob = "**/{readme,b}.[mh]*"}, {"docs/readme.md", "src/b.h"}},
      {"negated_class", {.glob = "[!a-s]*.cc"}, {"top.cc"}},
      {"invalid_regex", {.pattern = "(foo", .regex = true}, "Invalid regex: missing ): (foo"},
      {"nothing_to_find", {.path = "src"}, "Missing pattern (or a glob, to find files by name)"},
      {"outside", {.path = elsewhere.path.string(), .pattern = "foo"}, "Path is outside the working and allowed folders"},
      {"through_a_link", {.path = "out", .pattern = "foo"}, "Path is outside the working and allowed folders"},
      {"dots", {.path = "src/..", .pattern = "foo"}, "Path cannot contain '..'"},
  };
  for (const SearchCase& c : cases) {
    auto result = search(c.action);
    if (c.expected.is_string()) {
      ASSERT_FALSE(result) << c.name;
      EXPECT_EQ(result.error().message, c.expected) << c.name;
      continue;
    }
    ASSERT_TRUE(result) << c.name << ": " << result.error();
    EXPECT_EQ((*result)[c.action.pattern ? "matches" : "files"], c.expected) << c.name;
  }
}

TEST_F(Search, AnAllowedFolderIsNamedInFullAndResultsStopAt200) {
  roots.push_back(elsewhere.path);
  for (int i = 0; i < 150; ++i) write_text(elsewhere.path / ("f" + std::to_string(100 + i)), "foo\nfoo\n");
  auto many = search({.path = elsewhere.path.string(), .pattern = "foo"});
  ASSERT_TRUE(many) << many.error();
  EXPECT_EQ((*many)["matches"].size(), 200u);
  EXPECT_TRUE((*many)["truncated"]);
  EXPECT_EQ((*many)["matches"][0], match((elsewhere.path / "f100").string(), 1, "foo"));
  EXPECT_NE(output.str().find("(200+ matches)"), std::string::npos) << output.str();
}

// A long line is cut around its match; a hostile pattern over it finishes
// (a backtracking engine would take exponential time or overflow its stack).
TEST_F(Search, LongLinesAndHostilePatterns) {
  const std::string line = std::string(60'000, 'a') + "needle" + std::string(40'000, 'a');
  write_text(dir.path / "min.js", line + "\n");
  auto cut = search({.path = "min.js", .pattern = "needle"});
  ASSERT_TRUE(cut) << cut.error();
  const std::string shown = (*cut)["matches"][0]["text"];
  EXPECT_EQ(shown, "…" + std::string(100, 'a') + "needle" + std::string(194, 'a') + "…");
  for (const std::string pattern : {"(a*)*b", "(a|aa)*c", "(a+a+)+y", "(?:a?){50}a{50}z", "(.*a){20}z"}) {
    auto hostile = search({.path = "min.js", .pattern = pattern, .regex = true});
    ASSERT_TRUE(hostile) << pattern << ": " << hostile.error();
    EXPECT_EQ((*hostile)["matches"], Json::array()) << pattern;
  }
  auto huge = search({.path = "min.js", .pattern = "((a{1000}){1000}){1000}", .regex = true});
  ASSERT_FALSE(huge);
  EXPECT_TRUE(huge.error().message.starts_with("Invalid regex: ")) << huge.error();
}

}  // namespace

}  // namespace wendlebox
