// The command line through the real binary.
#include <gtest/gtest.h>

#include "state/chats.h"
#include "support/support.h"

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
        ArgsCase{{"bad\xff"}, 1, "", "Argument 1 is not valid UTF-8."}));

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
  EXPECT_TRUE(en.out.ends_with("Quote prompts containing spaces.\n"));
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
    EXPECT_EQ(rows, 21) << lang;
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

// --version says the version; a command's --help says what it does and does it not.
TEST(CommandLine, VersionAndSetupHelpChangeNothing) {
  TempDir home;
  CommandResult version = run_binary({.args = {"--version"}, .home = home.path});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, "wendlebox " WENDLEBOX_VERSION "\nextension expected: " WENDLEBOX_VERSION "\n");
  CommandResult help = run_binary({.args = {"setup", "--help"}, .home = home.path});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_TRUE(help.out.starts_with("wendlebox setup: installs this program")) << help.out;
  EXPECT_FALSE(fs::exists(home.path / ".local/bin/wendlebox"));
}
