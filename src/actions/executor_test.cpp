#include "actions/executor.h"

#include <gtest/gtest.h>

#include <sstream>

#include "actions/command_rules.h"
#include "actions/confirm.h"
#include "actions/kept_output.h"
#include "actions/images.h"
#include "actions/live_output.h"
#include "line_editor/line_editor.h"
#include "support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

const std::string kPng = std::string("\x89PNG\r\n\x1a\n", 8) + "rest of a png";

class Executor : public testing::Test {
 protected:
  void SetUp() override {
    saved_in = std::cin.rdbuf(input.rdbuf());
    saved_out = std::cout.rdbuf(output.rdbuf());
  }
  void TearDown() override {
    std::cin.rdbuf(saved_in);
    std::cout.rdbuf(saved_out);
  }
  Result<Json> run(Action action) {
    ExecutionContext context{.base = dir.path,
                             .roots = roots,
                             .allow_commands = allow_commands,
                             .force_yes = force_yes,
                             .pending = pending,
                             .out = printer};
    return execute(action, context);
  }
  std::string error_of(Action action) {
    auto result = run(std::move(action));
    return result ? "(succeeded)" : result.error().message;
  }
  TempDir dir;
  std::vector<fs::path> roots{dir.path};
  bool allow_commands = true;
  bool force_yes = false;
  std::vector<Attachment> pending;
  std::stringstream input, output;
  const Printer printer{output};
  std::streambuf *saved_in = nullptr, *saved_out = nullptr;
};

TEST_F(Executor, UnknownTypesAndMissingFields) {
  EXPECT_EQ(error_of({"Run"}), "Unknown action: Run");
  EXPECT_EQ(error_of({"read_file"}), "Missing path");
  EXPECT_EQ(error_of({"write_file"}), "Missing path");
  EXPECT_EQ(error_of({"write_file", "a"}), "Missing content");
  EXPECT_EQ(error_of({"run"}), "Missing command");
  EXPECT_EQ(error_of({"attach_image"}), "Missing path");
}

TEST_F(Executor, ListsSortedNamesWithFolderMarksUpTo200) {
  fs::create_directory(dir.path / "src");
  write_text(dir.path / "a.txt", "");
  write_text(dir.path / ".hidden", "");
  fs::create_directory_symlink(dir.path / "src", dir.path / "link");
  auto listed = run({"list_files"});
  ASSERT_TRUE(listed) << listed.error();
  EXPECT_EQ(*listed, (Json{{"entries", {".hidden", "a.txt", "link", "src/"}}}));
  EXPECT_EQ(error_of({"list_files", "a.txt"}), "Not a directory");
  for (int i = 0; i < 250; ++i) write_text(dir.path / "src" / ("f" + std::to_string(1000 + i)), "");
  auto many = run({"list_files", "src"});
  ASSERT_TRUE(many);
  const auto& entries = (*many)["entries"];
  EXPECT_EQ(entries.size(), 200u);
  EXPECT_TRUE(std::is_sorted(entries.begin(), entries.end()));
  EXPECT_EQ(output.str(), "Listed . (4 entries)\nlist_files a.txt failed: Not a directory\nListed src (200 entries)\n");
}

TEST_F(Executor, ReadsUpTo250000BytesOfUtf8) {
  write_text(dir.path / "ok.txt", std::string(250'000, 'x'));
  write_text(dir.path / "big.txt", std::string(250'001, 'x'));
  write_text(dir.path / "img.png", kPng);
  auto read = run({"read_file", "ok.txt"});
  ASSERT_TRUE(read);
  EXPECT_EQ((*read)["content"].get<std::string>().size(), 250'000u);
  EXPECT_EQ((*read)["path"], "ok.txt");
  EXPECT_EQ(error_of({"read_file", "big.txt"}),
            "File exceeds 250 KB. Read a smaller file, or read this one in parts with start_line and end_line.");
  EXPECT_EQ(error_of({"read_file", "img.png"}), "File is not UTF-8 text");
  EXPECT_EQ(error_of({"read_file", "none.txt"}), "No such file or directory");
}

TEST_F(Executor, WritesUpTo1000000BytesAndReportsIt) {
  auto written = run({"write_file", "deep/er/f.txt", std::string(1'000'000, 'y')});
  ASSERT_TRUE(written) << written.error();
  EXPECT_EQ(*written, (Json{{"bytes", 1'000'000}, {"path", "deep/er/f.txt"}}));
  EXPECT_EQ(fs::file_size(dir.path / "deep/er/f.txt"), 1'000'000u);
  EXPECT_EQ(error_of({"write_file", "../x", std::string(1'000'001, 'y')}), "File exceeds 1 MB");
  EXPECT_EQ(error_of({"write_file", "../x", "y"}), "Path cannot contain '..'");
  ASSERT_TRUE(run({"write_file", "empty.txt", ""}));
  EXPECT_EQ(read_text(dir.path / "empty.txt"), "");
  EXPECT_EQ(output.str(), "Wrote deep/er/f.txt\n1 + " + std::string(154, 'y') + "…\nwrite_file ../x failed: File exceeds 1 MB\n"
                          "write_file ../x failed: Path cannot contain '..'\nWrote empty.txt\n");
}

TEST_F(Executor, RunsCommandsInTheWorkingFolder) {
  auto ran = run({"run", {}, {}, "pwd; echo oops >&2; exit 3"});
  ASSERT_TRUE(ran);
  EXPECT_EQ(*ran, (Json{{"exit_code", 3}, {"stderr", "oops\n"}, {"stdout", dir.path.string() + "\n"}}));
  auto killed = run({"run", {}, {}, "kill -9 $$"});
  ASSERT_TRUE(killed);
  EXPECT_TRUE((*killed)["exit_code"].is_null());
  // The output is shown as it comes; a command ended by a signal says which.
  EXPECT_EQ(output.str(), "Run pwd; echo oops >&2; exit 3\n  " + dir.path.string() + "\n  oops\nExit 3\nRun kill -9 $$\n"
                          "Stopped by SIGKILL\n");
}

// On a terminal the window counts the seconds even while the command is
// quiet, then gives way to its last lines.
TEST_F(Executor, OnATerminalAQuietCommandShowsItsSecondsThenItsLines) {
  std::stringstream screen;
  const Printer terminal(screen, true, false);
  ExecutionContext context{.base = dir.path,
                           .roots = roots,
                           .allow_commands = true,
                           .force_yes = force_yes,
                           .pending = pending,
                           .out = terminal};
  ASSERT_TRUE(execute({"run", {}, {}, "sleep 0.4; echo one"}, context));
  const std::string shown = screen.str();
  EXPECT_TRUE(shown.starts_with("Run sleep 0.4; echo one\n  … 0 s\n")) << shown;
  EXPECT_TRUE(shown.ends_with("\x1b[J  one\nExit 0\n")) << shown;
}

// A line without end (a gigabyte without a break) is shown cut, and kept
// cut: memory stays small and the time linear.
TEST_F(Executor, AnEndlessLineIsShownCut) {
  ASSERT_TRUE(run({"run", {}, {}, "head -c 3000000 /dev/zero | tr '\\0' x; echo; echo done"}));
  EXPECT_EQ(output.str(), "Run head -c 3000000 /dev/zero | tr '\\0' x; echo; echo done\n  " + std::string(4096, 'x') +
                              "\n  done\nExit 0\n");
}

// A long output keeps its start and its end, cut at line ends, and says
// between them how much is left out: the end of a build is what matters.
TEST_F(Executor, KeepsTheStartAndTheEndOfEachStreamWithAMarker) {
  const std::string line = std::string(79, 'x') + "\n";
  auto ran = run({"run", {}, {}, "yes " + std::string(79, 'x') + " | head -n 375; echo the end; echo short >&2"});
  ASSERT_TRUE(ran);
  std::string start, end;
  for (int i = 0; i < 75; ++i) start += line;
  for (int i = 0; i < 74; ++i) end += line;
  EXPECT_EQ((*ran)["stdout"], start + "[… 18,080 characters (226 lines) omitted …]\n" + end + "the end\n");
  EXPECT_EQ((*ran)["stderr"], "short\n");
  EXPECT_EQ((*ran)["truncated"], true);
  auto whole = run({"run", {}, {}, "head -c 12000 /dev/zero | tr '\\0' a"});
  ASSERT_TRUE(whole);
  EXPECT_EQ((*whole)["stdout"], std::string(12'000, 'a'));
  EXPECT_FALSE(whole->contains("truncated"));
}

// Past what is kept whole the end lives in a ring: fed in odd pieces, a
// character cut by the ring is left out, never shown broken.
TEST(KeptOutput, TheEndSurvivesAnyAmountInAnyPieces) {
  KeptOutput kept;
  std::string text;
  for (int i = 0; i < 50'000; ++i) text += "é";
  text += "END";
  for (std::size_t at = 0; at < text.size(); at += 7) kept.take(std::string_view(text).substr(at, 7));
  const KeptOutput::Text result = kept.finish();
  std::string start, end;
  for (int i = 0; i < 6'000; ++i) start += "é";
  for (int i = 0; i < 5'997; ++i) end += "é";
  EXPECT_EQ(result.text, start + "\n[… 38,003 characters omitted …]\n" + end + "END");
  EXPECT_TRUE(result.truncated);
  EXPECT_EQ(omitted_marker(1, 1), "[… 1 character (1 line) omitted …]");
}

TEST_F(Executor, ACommandPastItsTimeLimitEndsWithWhatItPrinted) {
  auto ran = run({.type = "run", .command = "echo first; sleep 30; echo never", .timeout = 2});
  ASSERT_TRUE(ran);
  EXPECT_EQ(*ran, (Json{{"exit_code", nullptr}, {"stderr", ""}, {"stdout", "first\n"}, {"timed_out", true}}));
  EXPECT_NE(output.str().find("Time limit of 2 s reached: stopping this command.\n"), std::string::npos) << output.str();
  EXPECT_TRUE(output.str().ends_with("Stopped at its time limit of 2 s\n")) << output.str();
  for (const std::uint64_t wrong : {0, 3601})
    EXPECT_EQ(error_of({.type = "run", .command = "true", .timeout = wrong}), "timeout must be from 1 to 3600 seconds");
}

TEST_F(Executor, LargeOutputOnEitherStreamNeverBlocksTheCommand) {
  auto ran = run({"run", {}, {}, "head -c 5000000 /dev/zero >&2; head -c 5000000 /dev/zero; echo done >&2"});
  ASSERT_TRUE(ran);
  EXPECT_EQ((*ran)["exit_code"], 0);
}

TEST_F(Executor, BlockedCommandsAskAndForceYesHoldsForTheSession) {
  allow_commands = false;
  input.str("n\ny --force-yes\n");
  EXPECT_EQ(error_of({"run", {}, {}, "echo one"}), "User declined request");
  ASSERT_TRUE(run({"run", {}, {}, "echo two | cat"}));
  EXPECT_TRUE(force_yes);
  ASSERT_TRUE(run({"run", {}, {}, "echo three"}));
  const std::string always =
      "  a: always allow this command in this project (also with more arguments after it); n <reason>: refuse and "
      "tell ChatGPT why\n";
  EXPECT_EQ(output.str(),
            "Run? echo one\n" + always + "Allow this command? [y/N/a] (y --force-yes for this session) "
            "Run? echo two | cat\n  n <reason>: refuse and tell ChatGPT why\n"
            "Allow this command? [y/N] (y --force-yes for this session) "
            "All remaining requests in this session will be allowed.\n  two\nExit 0\nRun echo three\n  three\nExit 0\n");
}

// `a` keeps the command in the project's rules, which a later session
// reads; a rule allows by its first words, never past a shell operator;
// a refusal's reason goes back to ChatGPT.
TEST_F(Executor, RulesOfTheProjectAllowCommandsByTheirStart) {
  allow_commands = false;
  input.str("a\n");
  ASSERT_TRUE(run({"run", {}, {}, "touch x"}));
  EXPECT_EQ(read_text(dir.path / ".wendlebox/commands.json"), "{\n  \"allow\": [\n    \"touch x\"\n  ]\n}");
  output.str("");
  ASSERT_TRUE(run({"run", {}, {}, "touch x"}));  // as in a new session: nothing is asked
  EXPECT_EQ(output.str(), "Run touch x (allowed in this project)\nExit 0\n");
  write_text(dir.path / ".wendlebox/commands.json", R"({"allow": ["touch", "", "touch x; rm y"]})");
  input.str("n\nn use make test instead\n");
  input.clear();
  ASSERT_TRUE(run({"run", {}, {}, "touch  y"}));
  EXPECT_TRUE(fs::exists(dir.path / "y"));
  EXPECT_EQ(error_of({"run", {}, {}, "touch x; rm y"}), "User declined request");
  EXPECT_EQ(error_of({"run", {}, {}, "touchy"}), "User declined request: use make test instead");
  EXPECT_TRUE(fs::exists(dir.path / "y"));
  EXPECT_EQ(output.str().find("failed"), std::string::npos) << output.str();
}

TEST(CommandRules, ARuleAllowsTheCommandOrItWithMoreWordsAndNothingWithAnOperator) {
  struct Case {
    const char* rule;
    const char* command;
    bool allowed;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"npm test", "npm test", true}, {"npm test", "npm test -- --watch", true}, {"npm test", " npm test ", true},
           {"npm", "npmx", false}, {"npm test", "npm", false}, {"make", "make\trm", false},
           {"make", "make; rm -rf ~", false}, {"make", "make && rm x", false}, {"make", "make | sh", false},
           {"make", "make > out", false}, {"make", "make < in", false}, {"make", "make `rm x`", false},
           {"make", "make $(rm x)", false}, {"make", "make\nrm x", false}, {"make", "make x & rm y", false},
           {"make; rm", "make; rm", false}, {"", "", false}})
    EXPECT_EQ(rule_allows(c.rule, c.command), c.allowed) << c.rule << " / " << c.command;
}

// A rules file that cannot be read allows nothing and is said once.
TEST_F(Executor, AMalformedRulesFileIsSaidOnceAndAllowsNothing) {
  allow_commands = false;
  bool told = false;
  for (const char* bad : {"{\"allow\": \"touch\"}", "{\"allow\": [1]}", "{"}) {
    write_text(dir.path / ".wendlebox/commands.json", bad);
    told = false;
    input.clear();
    input.str("y\ny\n");
    output.str("");
    for (int i = 0; i < 2; ++i) {
      ExecutionContext context{.base = dir.path,
                               .roots = roots,
                               .allow_commands = false,
                               .force_yes = force_yes,
                               .pending = pending,
                               .out = printer,
                               .told_bad_rules = &told};
      ASSERT_TRUE(execute({"run", {}, {}, "touch x"}, context));
    }
    const std::string said = output.str();
    const std::string report = "No command is allowed by " + (dir.path / ".wendlebox/commands.json").string();
    EXPECT_NE(said.find(report), std::string::npos) << said;
    EXPECT_EQ(said.find(report), said.rfind(report)) << said;
    EXPECT_EQ(said.find("[y/N/a]"), std::string::npos) << said;  // no rule can be added to it
    EXPECT_EQ(read_text(dir.path / ".wendlebox/commands.json"), bad);
  }
}

TEST_F(Executor, ImagesAreCountedAndNotAttachedTwice) {
  for (int i = 0; i < 5; ++i) write_text(dir.path / ("p" + std::to_string(i) + ".png"), kPng + std::to_string(i));
  ASSERT_TRUE(run({"attach_image", "p0.png"}));
  EXPECT_EQ(error_of({"attach_image", "p0.png"}), "That image is already attached to this turn");
  for (int i = 1; i < 4; ++i) ASSERT_TRUE(run({"attach_image", "p" + std::to_string(i) + ".png"}));
  EXPECT_EQ(error_of({"attach_image", "p4.png"}), "At most 4 images can be attached in a turn");
  EXPECT_EQ(error_of({"screenshot"}), "At most 4 images can be attached in a turn");
  pending.pop_back();
  input.str("n\n");
  EXPECT_EQ(error_of({"screenshot"}), "User declined request");
  EXPECT_EQ(pending[0].name, "p0.png");
  auto result = run({"attach_image", "p3.png"});
  EXPECT_EQ(*result, (Json{{"attached", true}, {"bytes", (kPng.size() + 1 + 2) / 3 * 4 * 3 / 4},
                           {"note", "The image will be attached to the next ChatGPT message."}, {"path", "p3.png"}}));
  pending.push_back({"wendlebox-screen.png", "image/png", "AAAA"});
  pending.erase(pending.begin());
  EXPECT_EQ(error_of({"screenshot"}), "Only one screenshot can be attached in a turn");
}

TEST_F(Executor, ScreenshotAsksOnceEvenWithForceYesUnlessCommandsAreBlocked) {
  force_yes = true;
  input.str("\n");
  EXPECT_EQ(error_of({"screenshot"}), "User declined request");
  EXPECT_EQ(output.str(), "Capture and attach your desktop screenshot to ChatGPT? [y/N] ");
}

TEST(Confirm, AnswerTable) {
  const struct {
    std::string answer;
    bool action_allows, sets_force, once_allows;
  } cases[] = {{"y", true, false, true},          {" YES ", true, false, true},
               {"Y", true, false, true},          {"Yes --Force-Yes", true, true, false},
               {"y --force-yes", true, true, false}, {"y  --force-yes", false, false, false},
               {"yes please", false, false, false}, {"", false, false, false},
               {"n", false, false, false}};
  for (const auto& c : cases) {
    for (bool once : {false, true}) {
      std::stringstream in(c.answer + "\n"), out;
      auto* old_in = std::cin.rdbuf(in.rdbuf());
      const Printer printer(out);
      bool force = false;
      const bool allowed = once ? confirm_once(printer, "Q?").has_value() : confirm_action(printer, "Q?", force).has_value();
      std::cin.rdbuf(old_in);
      EXPECT_EQ(allowed, once ? c.once_allows : c.action_allows) << c.answer << " once=" << once;
      if (!once) {
        EXPECT_EQ(force, c.sets_force) << c.answer;
      }
    }
  }
}

TEST(Confirm, EndOfInputRefuses) {
  std::stringstream in, out;
  auto* old_in = std::cin.rdbuf(in.rdbuf());
  const Printer printer(out);
  bool force = false;
  auto action = confirm_action(printer, "Q?", force);
  auto once = confirm_once(printer, "Q?");
  std::cin.rdbuf(old_in);
  EXPECT_EQ(action.error().message, "User declined request");
  EXPECT_EQ(once.error().message, "User declined request");
  EXPECT_EQ(action.error().kind, ErrorKind::Declined);
  EXPECT_EQ(once.error().kind, ErrorKind::Declined);
  // The question's line is ended: what follows does not run on after it.
  EXPECT_EQ(out.str(), "Q? [y/N] (y --force-yes for this session) \nQ? [y/N] \n");
}

// When the command ends, the lines that scrolled away are counted above
// the last ones shown, in the singular for one.
TEST(LiveOutput, TheClosingLinesCountTheEarlierOnesAbove) {
  for (const auto& [lines, said] : {std::pair{6, "  … 1 earlier line\n  2\n"}, std::pair{1'007, "  … 1,002 earlier lines\n  1003\n"}}) {
    std::stringstream screen;
    const Printer terminal(screen, true, false, 80);
    LiveOutput live(terminal);
    for (int i = 1; i <= lines; ++i) live.take(std::to_string(i) + "\n", false);
    live.finish();
    const std::string out = screen.str();
    EXPECT_TRUE(out.ends_with(std::string(said) + "  " + std::to_string(lines - 3) + "\n  " + std::to_string(lines - 2) + "\n  " +
                              std::to_string(lines - 1) + "\n  " + std::to_string(lines) + "\n"))
        << out;
  }
}

// The live window goes back up as many rows as it drew: each of its lines
// fits one row of the terminal, however narrow, tabs included.
TEST(LiveOutput, TheWindowFitsANarrowTerminal) {
  std::stringstream screen;
  const Printer terminal(screen, true, false, 20);
  LiveOutput live(terminal);
  live.take("a line much longer than twenty columns\n\t\ttabbed\n", false);
  live.finish();
  const std::string out = screen.str();
  EXPECT_NE(out.find("\x1b[3F\x1b[J"), std::string::npos) << out;  // two lines and the seconds
  std::istringstream rows(out);
  for (std::string row; std::getline(rows, row);) {
    EXPECT_LT(line_editor::display_width(row), 20u) << row;
    EXPECT_EQ(row.find('\t'), std::string::npos) << row;
  }
}

}  // namespace

}  // namespace wendlebox
