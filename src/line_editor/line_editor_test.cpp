#include "line_editor/line_editor.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <thread>
#include <tuple>

#include "support/support.h"

namespace wendlebox {

namespace line_editor {
namespace {

const std::vector<std::string> kNoHistory;

TEST(LineBuffer, MovesAndEditsWholeCharacters) {
  LineBuffer b;
  b.insert("héllo");
  for (int i = 0; i < 4; ++i) b.apply(EditAction::Left, kNoHistory);
  EXPECT_EQ(b.cursor, 1u);
  b.apply(EditAction::Backspace, kNoHistory);
  EXPECT_EQ(b.text, "éllo");
  EXPECT_EQ(b.cursor, 0u);
  b.apply(EditAction::Delete, kNoHistory);
  EXPECT_EQ(b.text, "llo");
  b.apply(EditAction::End, kNoHistory);
  b.insert("日本");
  b.apply(EditAction::Left, kNoHistory);
  EXPECT_EQ(b.cursor, 6u);
  b.apply(EditAction::Right, kNoHistory);
  b.apply(EditAction::Right, kNoHistory);
  EXPECT_EQ(b.cursor, b.text.size());
  b.apply(EditAction::Backspace, kNoHistory);
  EXPECT_EQ(b.text, "llo日");
  b.apply(EditAction::Home, kNoHistory);
  b.apply(EditAction::Left, kNoHistory);
  EXPECT_EQ(b.cursor, 0u);
  b.apply(EditAction::Backspace, kNoHistory);
  EXPECT_EQ(b.text, "llo日");
}

TEST(LineBuffer, BrowsesHistoryAndRestoresTheTypedLine) {
  const std::vector<std::string> history{"old", "new"};
  LineBuffer b;
  b.apply(EditAction::HistoryPrevious, kNoHistory);
  EXPECT_FALSE(b.history_position);
  b.insert("abc");
  const std::pair<EditAction, std::string> steps[] = {{EditAction::HistoryPrevious, "new"},
                                                      {EditAction::HistoryPrevious, "old"},
                                                      {EditAction::HistoryPrevious, "old"},
                                                      {EditAction::HistoryNext, "new"},
                                                      {EditAction::HistoryNext, "abc"},
                                                      {EditAction::HistoryNext, "abc"}};
  for (const auto& [action, text] : steps) {
    b.apply(action, history);
    EXPECT_EQ(b.text, text);
    EXPECT_EQ(b.cursor, text.size());
  }
  EXPECT_EQ(history, (std::vector<std::string>{"old", "new"}));
}

TEST(DisplayWidth, CountsColumns) {
  const std::pair<std::string, std::size_t> cases[] = {
      {"abc", 3}, {"héllo", 5}, {"日本", 4}, {"e\u0301", 1}, {"\x1b[36mYou >\x1b[0m ", 6},
      {"\x1b" "7x", 1}, {"\t\x7f", 0}, {"\u00a0", 1}, {"\xc2\x85", 0}, {"🙂", 2}};
  for (const auto& [text, width] : cases) EXPECT_EQ(display_width(text), width) << text;
}

TEST(FitToColumns, CutsWholeCharactersBeforeTheLastColumn) {
  const std::tuple<std::string, std::size_t, std::string> cases[] = {
      {"short", 20, "short"},     {"exactly five", 13, "exactly five"}, {"exactly five", 12, "exactly fi\u2026"},
      {"日本語です", 6, "日本\u2026"}, {"abc", 0, "abc"},                   {"abc", 1, ""}};
  for (const auto& [text, columns, fitted] : cases) {
    EXPECT_EQ(fit_to_columns(text, columns), fitted) << text << " in " << columns;
    if (columns > 0) {
      EXPECT_LT(display_width(fit_to_columns(text, columns)), columns);
    }
  }
}

// A pseudo-terminal of 80 columns with the editor on its slave side.
class Terminal : public testing::Test {
 protected:
  void SetUp() override {
    winsize size{};
    size.ws_col = 80;
    size.ws_row = 24;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, &size), 0);
    termios attributes;
    ::tcgetattr(slave, &attributes);
    attributes.c_oflag &= ~OPOST;  // keep written bytes exactly as written
    ::tcsetattr(slave, TCSANOW, &attributes);
    ::tcgetattr(slave, &before);
  }
  void TearDown() override {
    if (master >= 0) ::close(master);
    ::close(slave);
  }
  void type(const std::string& bytes) { ASSERT_EQ(::write(master, bytes.data(), bytes.size()), (ssize_t)bytes.size()); }
  // What the editor wrote for one read, which always ends with "\r\n". The
  // pseudo-terminal hands written bytes to the master side asynchronously.
  std::string written() {
    std::string out;
    wait_until([&] {
      char buffer[4096];
      int available = 0;
      ::ioctl(master, FIONREAD, &available);
      if (available > 0) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) out.append(buffer, static_cast<std::size_t>(n));
      }
      return out.ends_with("\r\n");
    });
    return out;
  }
  // Types only once the editor has put the terminal in raw mode, as a user
  // would, so the kernel's line discipline does not edit the bytes first.
  Result<std::optional<std::string>> read(const std::string& typed, const std::string& prompt = "> ",
                                          const std::vector<std::string>& history = {}) {
    Result<std::optional<std::string>> line = std::optional<std::string>();
    std::thread editor([&] { line = read_line(prompt, history, slave, slave); });
    wait_until([&] {
      termios now;
      ::tcgetattr(slave, &now);
      return (now.c_lflag & ICANON) == 0;
    });
    type(typed);
    editor.join();
    termios after;
    ::tcgetattr(slave, &after);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_cc[VMIN], before.c_cc[VMIN]);
    return line;
  }
  int master = -1, slave = -1;
  termios before{};
};

TEST_F(Terminal, EditsAndReturnsTheLine) {
  auto line = read("h\xc3\xa9llo\x1b[D\x1b[D\x1b[D\x1b[D\x7f\r");
  ASSERT_TRUE(line && *line);
  EXPECT_EQ(**line, "éllo");
  const std::string out = written();
  // Bracketed paste is on while the editor reads, off before the line ends.
  EXPECT_TRUE(out.starts_with("\x1b[?2004h\r\x1b[J> \r\x1b[2C\r\x1b[J> h\r\x1b[3C")) << out;
  EXPECT_TRUE(out.ends_with("\r\x1b[J> éllo\r\x1b[2C\x1b[?2004l\r\n")) << out;
}

TEST_F(Terminal, ExactWrapMovesToTheNextRowAndTheRedrawGoesBackUp) {
  const std::string prompt(78, 'p');
  auto line = read("ab\x7f\r", prompt);
  ASSERT_TRUE(line && *line);
  EXPECT_EQ(**line, "a");
  const std::string out = written();
  EXPECT_NE(out.find("\r\x1b[J" + prompt + "ab\r\n\r"), std::string::npos) << out;
  EXPECT_NE(out.find("\r\x1b[1A\x1b[J" + prompt + "a\r\x1b[79C"), std::string::npos) << out;
}

TEST_F(Terminal, UnknownEscapeSequencesAreReadWholeAndIgnored) {
  auto line = read("x\x1b[1;5C\x1b[5~y\r");  // Ctrl-Right, PageUp
  ASSERT_TRUE(line && *line);
  EXPECT_EQ(**line, "xy");
}

TEST_F(Terminal, EveryCommonHomeAndEndKeyWorks) {
  auto line = read("bc\x1b[1~a\x1b[4~d\x1bOHz\x1bOFe\x1b[7~y\x1b[8~f\r");
  ASSERT_TRUE(line && *line);
  EXPECT_EQ(**line, "yzabcdef");
}

TEST_F(Terminal, APasteKeepsItsLineFeedsAndOnlyATypedEnterEndsThePrompt) {
  auto line = read("fix:\x1b[200~one\rtwo\r\nthree\x1b[201~!\r");
  ASSERT_TRUE(line && *line);
  EXPECT_EQ(**line, "fix:one\ntwo\nthree!");
  EXPECT_NE(written().find("> fix:one\u21b5two\u21b5three!"), std::string::npos);
}

TEST_F(Terminal, EscapeAloneChangesNothing) {
  std::optional<std::string> result;
  std::thread editor([&] { result = read_line("> ", {}, slave, slave).value_or(std::nullopt); });
  wait_until([&] {
    termios now;
    ::tcgetattr(slave, &now);
    return (now.c_lflag & ICANON) == 0;
  });
  type("ab\x1b");
  // Once the Escape is consumed the editor waits 80 ms for more; let that pass.
  wait_until([&] {
    int pending = 0;
    ::ioctl(slave, FIONREAD, &pending);
    return pending == 0;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  type("c\r");
  editor.join();
  EXPECT_EQ(result, "abc");
}

TEST_F(Terminal, CtrlCAndCtrlD) {
  auto empty = read("\x03");
  EXPECT_TRUE(empty && !*empty);
  EXPECT_TRUE(written().ends_with("> \r\x1b[2C\x1b[?2004l\r\n"));
  auto typed = read("abc\x03");
  EXPECT_TRUE(typed && !*typed);
  const std::string interrupted = written();
  EXPECT_TRUE(interrupted.ends_with("^C\r\n")) << interrupted;
  auto deleted = read("abc\x01\x04\x05\x04\r");
  ASSERT_TRUE(deleted && *deleted);
  EXPECT_EQ(**deleted, "bc");
  auto end = read("\x04");
  EXPECT_TRUE(end && !*end);
}

TEST_F(Terminal, UpUpDownDownWalksTheHistory) {
  const std::vector<std::string> history{"first", "second"};
  auto line = read("abc\x1b[A\x1b[A\r", "> ", history);
  EXPECT_EQ(**line, "first");
  line = read("abc\x1b[A\x1b[A\x1b[B\r", "> ", history);
  EXPECT_EQ(**line, "second");
  line = read("abc\x1bOA\x1b[A\x1b[B\x1b[B\r", "> ", history);
  EXPECT_EQ(**line, "abc");
  line = read("abc\x1b[A\x15z\r", "> ", history);
  EXPECT_EQ(**line, "z");
}

// A dumb terminal edits in its own line mode, where the arrow keys' escape
// sequences would land in the prompt; they are taken out.
TEST_F(Terminal, ADumbTerminalsPromptIgnoresKeySequences) {
  ScopedEnv env;
  env.set("TERM", "dumb");
  const int saved_input = ::dup(STDIN_FILENO);
  ::dup2(slave, STDIN_FILENO);  // the plain reading goes through standard input
  Result<std::optional<std::string>> line;
  std::thread editor([&] { line = read_line("> ", {}, slave, slave); });
  type("ab\x1b[D\x1bOHc\x1b[1;5C\x1b" "d\n");
  editor.join();
  ::dup2(saved_input, STDIN_FILENO);
  ::close(saved_input);
  ASSERT_TRUE(line && *line);
  EXPECT_EQ(**line, "abc\n");
}

TEST_F(Terminal, InvalidUtf8IsDroppedAndAClosedTerminalFails) {
  auto line = read("a\xff\xc3(b\r");
  ASSERT_TRUE(line && *line);
  EXPECT_EQ(**line, "ab");
  // Output that cannot be written is a failure, and the input terminal's
  // attributes are still put back: here a terminal opened for reading only.
  int other_master = -1, other_slave = -1;
  char name[256];
  ASSERT_EQ(::openpty(&other_master, &other_slave, name, nullptr, nullptr), 0);
  const int read_only = ::open(name, O_RDONLY | O_NOCTTY);
  ASSERT_TRUE(::isatty(read_only));
  auto failed = read_line("> ", {}, slave, read_only);
  ::close(read_only);
  ::close(other_slave);
  ::close(other_master);
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().message, "Bad file descriptor");
  termios after;
  ::tcgetattr(slave, &after);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
}

}  // namespace
}  // namespace line_editor

}  // namespace wendlebox
