// The command line through the real binary.
#include <gtest/gtest.h>

#include <iterator>
#include <sstream>

#include "common/text.h"
#include "line_editor/line_editor.h"
#include "state/chats.h"
#include "support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

struct ArgsCase {
  std::vector<std::string> args;
  int exit_code;
  std::string out_contains;  // "" when standard output must be empty
  std::string err;           // the exact error line, or "" for none
};

void PrintTo(const ArgsCase& c, std::ostream* os) {
  for (const std::string& a : c.args) *os << '[' << a << "] ";
}

class CommandLine : public testing::TestWithParam<ArgsCase> {
 protected:
  TempDir home, work;
};

TEST_P(CommandLine, ReportsInArgumentOrder) {
  const ArgsCase& c = GetParam();
  CommandResult r = run_binary({.args = c.args, .cwd = work.path, .home = home.path});
  EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
  if (c.out_contains.empty())
    EXPECT_EQ(r.out, "");
  else
    EXPECT_NE(r.out.find(c.out_contains), std::string::npos) << r.out;
  EXPECT_EQ(r.err, c.err.empty() ? "" : "Wendlebox: " + c.err + "\n");
}

const std::string kHelpStart = "Wendlebox  |  Contact: ";
const std::string kNoChat = "No chat started. Add a prompt or saved chat ID to use these options.\n";

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLine,
    testing::Values(
        ArgsCase{{"--help", "anything"}, 0, kHelpStart, ""}, ArgsCase{{"-h"}, 0, kHelpStart, ""},
        ArgsCase{{"help"}, 0, kHelpStart, ""},
        ArgsCase{{"anything", "--help"}, 1, "", "Unknown option: --help. Run wendlebox --help."},
        ArgsCase{{"list"}, 1, "", "Use wendlebox --chats to list saved chats."},
        ArgsCase{{"chats", "--bogus"}, 1, "", "Use wendlebox --chats to list saved chats."},
        ArgsCase{{"--chats", "--chats"}, 1, "", "Use one management option at a time."},
        ArgsCase{{"--chats", "--bogus"}, 1, "", "Unknown option: --bogus. Run wendlebox --help."},
        ArgsCase{{"--add-folder"}, 1, "", "--add-folder requires a folder path."},
        ArgsCase{{"--add-folder", "--x"}, 1, "", "--add-folder requires a folder path."},
        ArgsCase{{"--chatlog"}, 1, "", "--chatlog requires a chat ID or number."},
        ArgsCase{{"--chatlog", "3", "extra"}, 1, "", "--chatlog cannot be combined with a prompt or chat ID."},
        ArgsCase{{"--chats", "--force-yes"}, 1, "", "--chats cannot be combined with --force-yes."},
        ArgsCase{{"x", "--chats", "--force-yes"}, 1, "", "--chats cannot be combined with a prompt or chat ID."},
        ArgsCase{{"--force-yes"}, 0, kNoChat, ""}, ArgsCase{{"--"}, 0, kNoChat, ""},
        ArgsCase{{"--force-yes", "--force-yes", "--"}, 0, kNoChat, ""},
        ArgsCase{{"+7"}, 1, "", "Chat not found. Run wendlebox --chats-all to see saved numbers, or pass a ChatGPT chat URL."},
        ArgsCase{{"bad\xff"}, 1, "", "Argument 1 is not valid UTF-8."},
        ArgsCase{{"version", "x"}, 0, "wendlebox " WENDLEBOX_VERSION "\n", ""},
        ArgsCase{{"uninstall", "--all"}, 1, "", "uninstall takes only --purge, not --all."},
        ArgsCase{{"uninstall", "--purge", "--purge"}, 1, "", "uninstall takes only --purge, not --purge."},
        ArgsCase{{"--chats", "--yes"}, 1, "", "--chats cannot be combined with --yes."},
        ArgsCase{{"--yes", "x"}, 1, "", "--yes goes only with --add-folder."},
        ArgsCase{{"--browser", "no-such-browser --new-window"}, 1, "",
                 "Browser command not found: no-such-browser. Give a program on PATH or the full path of one, or "
                 "default for the system's browser."}));

TEST(CommandLine, HelpIsLocalised) {
  TempDir home;
  CommandResult en = run_binary({.args = {"--help"}, .home = home.path});
  CommandResult pt = run_binary({.args = {"--help"}, .home = home.path, .env = {{"WENDLEBOX_LANG", "pt"}}});
  CommandResult es = run_binary({.args = {"--help"}, .home = home.path, .env = {{"LANG", "es_ES.UTF-8"}}});
  EXPECT_TRUE(en.out.starts_with("Wendlebox  |  Contact: "));
  EXPECT_NE(en.out.find("  wendlebox --chatlog <chat ID or number>    Show local prompts and final replies\n"), std::string::npos);
  EXPECT_NE(pt.out.find("  wendlebox \"adicione controles\" 1           Continua o chat 1 com um prompt\n"), std::string::npos);
  EXPECT_TRUE(es.out.starts_with("Wendlebox  |  Contacto: "));
  for (const CommandResult* help : {&en, &pt, &es})  // the title, then an empty line
    EXPECT_NE(help->out.find("example\n\n  wendlebox  "), std::string::npos) << help->out;
  EXPECT_TRUE(en.out.ends_with("put -- before a prompt that starts with one of them.\n"));
}

TEST(CommandLine, HelpDescriptionsStartAtColumn46) {
  TempDir home;
  for (const char* lang : {"en", "pt", "es"}) {
    CommandResult r = run_binary({.args = {"--help"}, .home = home.path, .env = {{"WENDLEBOX_LANG", lang}}});
    std::istringstream lines(r.out);
    std::string line;
    int rows = 0;
    while (std::getline(lines, line)) {
      if (!line.starts_with("  wendlebox")) continue;
      // Character 45 (0-based 44) is the last blank; 46 starts the description.
      std::size_t chars = 0, col = 0;
      for (std::size_t i = 0; i < line.size(); ++chars) {
        if (chars == 44) col = i;
        const unsigned char b = static_cast<unsigned char>(line[i]);
        i += b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
      }
      EXPECT_EQ(line[col], ' ') << lang << ": " << line;
      EXPECT_NE(line[col + 1], ' ') << lang << ": " << line;
      ++rows;
    }
    EXPECT_EQ(rows, 26) << lang;
  }
}

TEST(CommandLine, UnknownOptionIsLocalised) {
  TempDir home;
  CommandResult r = run_binary({.args = {"--verbose"}, .home = home.path, .env = {{"LANG", "pt_BR"}}});
  EXPECT_EQ(r.err, "Wendlebox: Opção desconhecida: --verbose. Execute wendlebox --help.\n");
}

TEST(CommandLine, AddFolderAcceptsAValueStartingWithOneHyphen) {
  TempDir home, work;
  fs::create_directory(work.path / "-x");
  CommandResult r = run_binary({.args = {"--add-folder", "-x"}, .cwd = work.path, .home = home.path});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "Allowed file access: " + (work.path / "-x").string() + "\n");
}

}  // namespace

// version says the version (and starts no session: no Git repository, no
// project folder); a command's --help says what it does and does it not.
TEST(CommandLine, VersionAndSetupHelpChangeNothing) {
  TempDir home, work;
  for (const char* word : {"--version", "version"}) {
    CommandResult version = run_binary({.args = {word}, .cwd = work.path, .home = home.path});
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out, "wendlebox " WENDLEBOX_VERSION "\nextension expected: " WENDLEBOX_VERSION "\n");
  }
  EXPECT_TRUE(fs::is_empty(work.path));
  CommandResult help = run_binary({.args = {"setup", "--help"}, .home = home.path});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_TRUE(help.out.starts_with("wendlebox setup: installs this program")) << help.out;
  EXPECT_FALSE(fs::exists(home.path / ".local/bin/wendlebox"));
  help = run_binary({.args = {"uninstall", "--help"}, .home = home.path});
  EXPECT_TRUE(help.out.starts_with("wendlebox uninstall: removes what setup installed")) << help.out;
}

// At a terminal the help wraps between words to its width, descriptions in
// their column while there is room; through a pipe it is exact.
TEST(CommandLine, HelpWrapsToTheTerminal) {
  TempDir home;
  const std::string exact = run_binary({.args = {"--help"}, .home = home.path}).out;
  for (unsigned short columns : {80, 40, 20}) {
    RunningBinary help({.args = {"--help"}, .home = home.path, .terminal = true, .columns = columns});
    CommandResult r = help.finish();
    std::string screen = r.out;
    std::erase(screen, '\r');
    std::istringstream rows(screen);
    std::string row, words;
    while (std::getline(rows, row)) {
      // Only a word longer than a row may reach past it (it is not broken).
      if (trim(row).find(' ') != std::string_view::npos) {
        EXPECT_LT(line_editor::display_width(row), columns) << row;
      }
      words += row + " ";
    }
    // Only where the lines break changed: the same words in the same order.
    std::istringstream a(words), b(exact);
    EXPECT_EQ(std::vector<std::string>(std::istream_iterator<std::string>(a), {}),
              std::vector<std::string>(std::istream_iterator<std::string>(b), {}));
    if (columns != 80) continue;
    EXPECT_NE(screen.find("  wendlebox --chats                          List this project's saved chats\n"
                          "                                             (--history and --list also work)\n"),
              std::string::npos) << screen;
  }
}

}  // namespace wendlebox
