// Changes to files reviewed by the user, the answers read from standard
// input as a session reads them without a terminal.
#include "actions/review.h"

#include <gtest/gtest.h>

#include <sstream>

#include "actions/file_access.h"
#include "support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

const std::string kFile = "name = 1\nother = 2\n";
const Action kRename{.type = "edit_file", .path = "a.py", .edits = std::vector<Edit>{{"name = 1", "title = 1"}}};
const Action kSecond{.type = "edit_file", .path = "a.py", .edits = std::vector<Edit>{{"other = 2", "other = 3"}}};
const std::string kQuestion = "Apply this change? [y/N/a] ";

class Review : public testing::Test {
 protected:
  void SetUp() override {
    saved_in = std::cin.rdbuf(input.rdbuf());
    saved_out = std::cout.rdbuf(output.rdbuf());
    write_text(dir.path / "a.py", kFile);
  }
  void TearDown() override {
    std::cin.rdbuf(saved_in);
    std::cout.rdbuf(saved_out);
  }
  Result<Json> run(const Action& action) {
    ExecutionContext context{.base = dir.path,
                             .roots = roots,
                             .allow_commands = allow_commands,
                             .force_yes = force_yes,
                             .pending = pending,
                             .out = printer,
                             .review_edits = review,
                             .edits_approved = &approved};
    return execute(action, context);
  }
  std::size_t questions() const {
    std::size_t count = 0;
    for (auto at = output.str().find(kQuestion); at != std::string::npos; at = output.str().find(kQuestion, at + 1)) ++count;
    return count;
  }
  TempDir dir;
  std::vector<fs::path> roots{dir.path};
  bool allow_commands = true, force_yes = false, review = true, approved = false;
  std::vector<Attachment> pending;
  std::stringstream input, output;
  Printer printer{output, false, false};
  std::streambuf *saved_in = nullptr, *saved_out = nullptr;
};

struct AnswerCase {
  const char* answer;
  const char* error;  // empty: the change is applied
};

TEST_F(Review, TheChangeIsShownThenAppliedOnlyOnYes) {
  const std::string declined = "User declined the change; the file was not changed.";
  const AnswerCase cases[] = {
      {"y\n", ""},
      {" YES \n", ""},
      {"n keep the old name\n", "User declined the change; the file was not changed. Their reason: keep the old name"},
      {"n\n", "User declined the change; the file was not changed."},
      {"\n", "User declined the change; the file was not changed."},
      {"yes please\n", "User declined the change; the file was not changed."},
      {"", "User declined the change; the file was not changed."},  // end of input
  };
  for (const AnswerCase& c : cases) {
    write_text(dir.path / "a.py", kFile);
    input.clear();
    input.str(c.answer);
    output.str("");
    auto result = run(kRename);
    const std::string out = output.str();
    // The change comes first, then the question.
    EXPECT_EQ(out.substr(0, out.find(kQuestion) + kQuestion.size()),
              "Change to a.py\n1 - name = 1\n1 + title = 1\n2   other = 2\n" + kQuestion)
        << c.answer;
    if (std::string(c.error).empty()) {
      ASSERT_TRUE(result) << c.answer << result.error();
      EXPECT_EQ(read_text(dir.path / "a.py"), "title = 1\nother = 2\n");
      EXPECT_TRUE(out.ends_with(kQuestion + "Edited a.py (+1 −1)\n")) << out;  // not shown twice
    } else {
      ASSERT_FALSE(result) << c.answer;
      EXPECT_EQ(result.error().message, c.error);
      EXPECT_EQ(read_text(dir.path / "a.py"), kFile) << c.answer;
      EXPECT_EQ(out.find("failed"), std::string::npos) << out;  // the user knows already
    }
  }
}

TEST_F(Review, AllLetsTheRestOfThePromptThroughShownButUnasked) {
  input.str("a\n");
  ASSERT_TRUE(run(kRename));
  ASSERT_TRUE(run(kSecond));
  ASSERT_TRUE(run(Action{.type = "write_file", .path = "new/b.txt", .content = "b\n"}));
  EXPECT_EQ(questions(), 1u);
  EXPECT_TRUE(approved);
  EXPECT_NE(output.str().find("The remaining changes of this prompt will be applied without asking.\n"
                              "Edited a.py (+1 −1)\n"
                              "Edited a.py (+1 −1)\n1   title = 1\n2 - other = 2\n2 + other = 3\n"),
            std::string::npos)
      << output.str();
  EXPECT_TRUE(output.str().ends_with("Wrote new/b.txt\n1 + b\n")) << output.str();
  EXPECT_EQ(read_text(dir.path / "a.py"), "title = 1\nother = 3\n");
}

// A refused new file leaves nothing behind, not even its folder; and the
// file ChatGPT saw may not change under the user's answer.
TEST_F(Review, ARefusalLeavesNoTraceAndAChangedFileIsNotOverwritten) {
  // A path the write would refuse is refused before anything is asked.
  EXPECT_EQ(run(Action{.type = "write_file", .path = "../x", .content = "b\n"}).error().message,
            "Path cannot contain '..'");
  EXPECT_EQ(run(Action{.type = "write_file", .path = ".git/config", .content = "b\n"}).error().message,
            "Files inside a .git folder cannot be written");
  EXPECT_EQ(questions(), 0u);
  input.str("n\n");
  EXPECT_FALSE(run(Action{.type = "write_file", .path = "deep/new/b.txt", .content = "b\n"}));
  EXPECT_EQ(questions(), 1u);
  EXPECT_FALSE(fs::exists(dir.path / "deep"));
  // What the user typed while asked is read before the file is looked at again.
  struct ChangingInput : std::stringbuf {
    fs::path file;
    int underflow() override {
      if (str().empty()) {
        write_text(file, "changed meanwhile\n");
        str("y\n");
      }
      return std::stringbuf::underflow();
    }
  } changing;
  changing.file = dir.path / "a.py";
  std::cin.rdbuf(&changing);
  auto result = run(kRename);
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().message,
            "The file changed while the user reviewed this change; nothing was written. Read it again.");
  EXPECT_EQ(read_text(dir.path / "a.py"), "changed meanwhile\n");
  std::cin.rdbuf(input.rdbuf());
}

// What the user changes while asked is theirs: the watch that /undo reads
// looks afresh once the answer is in, before the file is written.
TEST_F(Review, TheUndoWatchLooksAgainAfterTheQuestion) {
  std::vector<std::string> events;
  const ChangeWatch recorder{
      .before = [&](const std::optional<fs::path>& named) { events.push_back("before " + named->filename().string()); },
      .after = [&](const std::optional<fs::path>& named) { events.push_back("after " + named->filename().string()); },
      .unwatched = [&] { events.push_back("afresh"); }};
  for (const char* answer : {"y\n", "n\n"}) {
    write_text(dir.path / "a.py", kFile);
    events.clear();
    input.clear();
    input.str(answer);
    ExecutionContext context{.base = dir.path,
                             .roots = roots,
                             .allow_commands = allow_commands,
                             .force_yes = force_yes,
                             .pending = pending,
                             .out = printer,
                             .watch = &recorder,
                             .review_edits = true,
                             .edits_approved = &approved};
    const auto outcome = execute(kSecond, context);
    EXPECT_EQ(events, (std::vector<std::string>{"before a.py", "afresh", "before a.py", "after a.py"}))
        << answer << output.str();
    EXPECT_EQ(outcome ? std::optional<ErrorKind>() : outcome.error().kind,
              std::string_view(answer) == "y\n" ? std::nullopt : std::optional(ErrorKind::Declined));
  }
}

// The user approves only what was shown whole: a line padded past the
// screen's edge shows its tail, and a change too long to read is refused
// unasked.
TEST_F(Review, WhatIsApprovedIsShownWhole) {
  const std::string padded = "x = 1" + std::string(300, ' ') + "; os.system(\"rm -rf ~\")\n";
  input.str("n\n");
  EXPECT_FALSE(run(Action{.type = "write_file", .path = "a.py", .content = padded}));
  EXPECT_NE(output.str().find("1 + x = 1·×300; os.system(\"rm -rf ~\")\n" + kQuestion), std::string::npos) << output.str();
  // Over a file too large to show, what replaces it is still shown.
  write_text(dir.path / "big.py", std::string(kMaxWriteBytes + 1, '#'));
  output.str("");
  input.clear();
  input.str("n\n");
  EXPECT_FALSE(run(Action{.type = "write_file", .path = "big.py", .content = padded}));
  EXPECT_EQ(output.str(), "Change to big.py\n(the file's current content cannot be shown)\n"
                          "1 + x = 1·×300; os.system(\"rm -rf ~\")\n" + kQuestion);
  output.str("");
  std::string long_file;
  for (int i = 0; i <= 400; ++i) long_file += "y" + std::to_string(i) + "\n";
  auto result = run(Action{.type = "write_file", .path = "a.py", .content = long_file});
  ASSERT_FALSE(result);
  EXPECT_TRUE(result.error().message.starts_with("The change is too long for the user to review")) << result.error();
  EXPECT_EQ(questions(), 0u);
  EXPECT_EQ(read_text(dir.path / "a.py"), kFile);
}

// Review off (the default), even with commands blocked: written unasked,
// and shown after the line that says so.
TEST_F(Review, OffWritesWithoutAskingAndShowsTheChange) {
  review = false;
  allow_commands = false;
  ASSERT_TRUE(run(kRename));
  ASSERT_TRUE(run(Action{.type = "write_file", .path = "a.py", .content = "title = 1\n"}));
  EXPECT_EQ(questions(), 0u);
  EXPECT_EQ(output.str(), "Edited a.py (+1 −1)\n1 - name = 1\n1 + title = 1\n2   other = 2\n"
                          "Wrote a.py\n1   title = 1\n2 - other = 2\n");
}

}  // namespace

}  // namespace wendlebox
