#include "state/app_dirs.h"
#include "state/settings.h"

#include <gtest/gtest.h>

#include "support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

TEST(AppDir, FollowsAnAbsoluteXdgFolderThenHomeThenCurrentFolder) {
  const auto env_of = [](std::map<std::string, std::string> vars) {
    return [vars](std::string_view name) -> std::optional<std::string> {
      auto found = vars.find(std::string(name));
      return found == vars.end() ? std::nullopt : std::optional(found->second);
    };
  };
  EXPECT_EQ(app_dir(env_of({{"XDG_CONFIG_HOME", "/tmp/x"}, {"HOME", "/home/u"}})), "/tmp/x/wendlebox");
  EXPECT_EQ(app_dir(env_of({{"HOME", "/home/u"}})), "/home/u/.config/wendlebox");
  EXPECT_EQ(app_dir(env_of({})), "./.config/wendlebox");
  // An empty or relative value is no base folder at all.
  EXPECT_EQ(app_dir(env_of({{"XDG_CONFIG_HOME", ""}, {"HOME", "/home/u"}})), "/home/u/.config/wendlebox");
  EXPECT_EQ(data_dir(env_of({{"XDG_DATA_HOME", "rel/share"}, {"HOME", "/home/u"}})), "/home/u/.local/share/wendlebox");
}

class SettingsCommands : public testing::Test {
 protected:
  CommandResult wendlebox(std::vector<std::string> args) {
    return run_binary({.args = std::move(args), .cwd = home.path, .home = home.path});
  }
  fs::path file() const { return home.path / ".config/wendlebox/settings.json"; }
  TempDir home;
};

struct SettingsCase {
  const char* option;
  const char* message;
  const char* file;
};

TEST_F(SettingsCommands, EachOptionWritesTheWholeFileInDeclaredOrder) {
  const SettingsCase cases[] = {
      {"--block-sounds", "Completion sounds blocked.\n",
       "{\n  \"allow_commands\": true,\n  \"sounds\": false,\n  \"git\": true\n}"},
      {"--block-commands", "Commands blocked. Wendlebox will ask before running each one.\n",
       "{\n  \"allow_commands\": false,\n  \"sounds\": false,\n  \"git\": true\n}"},
      {"--block-git", "Automatic Git snapshots and commits disabled.\n",
       "{\n  \"allow_commands\": false,\n  \"sounds\": false,\n  \"git\": false\n}"},
      {"--allow-git", "Automatic Git snapshots and commits enabled.\n",
       "{\n  \"allow_commands\": false,\n  \"sounds\": false,\n  \"git\": true\n}"},
      {"--allow-commands", "Commands allowed. Wendlebox will run them without asking.\n",
       "{\n  \"allow_commands\": true,\n  \"sounds\": false,\n  \"git\": true\n}"},
      {"--allow-commands", "Commands allowed. Wendlebox will run them without asking.\n",
       "{\n  \"allow_commands\": true,\n  \"sounds\": false,\n  \"git\": true\n}"},
      {"--allow-sounds", "Completion sounds allowed.\n",
       "{\n  \"allow_commands\": true,\n  \"sounds\": true,\n  \"git\": true\n}"},
      {"--review-edits", "Changes to files will be shown first, and Wendlebox will ask before applying each one.\n",
       "{\n  \"allow_commands\": true,\n  \"sounds\": true,\n  \"git\": true,\n  \"review_edits\": true\n}"},
      {"--apply-edits", "Changes to files will be applied without asking, and shown as they are made.\n",
       "{\n  \"allow_commands\": true,\n  \"sounds\": true,\n  \"git\": true\n}"},
      {"--no-project-instructions", "The project's instructions (AGENTS.md or the like) will not be sent to ChatGPT.\n",
       "{\n  \"allow_commands\": true,\n  \"sounds\": true,\n  \"git\": true,\n  \"project_instructions\": false\n}"},
      {"--project-instructions",
       "The project's instructions (AGENTS.md or the like) will go with the first prompt of each chat.\n",
       "{\n  \"allow_commands\": true,\n  \"sounds\": true,\n  \"git\": true\n}"},
  };
  for (const SettingsCase& c : cases) {
    CommandResult r = wendlebox({c.option});
    EXPECT_EQ(r.exit_code, 0) << c.option << r.err;
    EXPECT_EQ(r.out, c.message);
    EXPECT_EQ(read_text(file()), c.file) << c.option;
  }
  EXPECT_FALSE(fs::exists(file().parent_path() / "settings.tmp"));
}

TEST_F(SettingsCommands, MissingKeysAreTrueAndUnknownKeysIgnoredWhileKeyOrderIsRewritten) {
  write_text(file(), "{\"command_timeout_seconds\": 120, \"git\": false, \"extra\": [1], \"sounds\": true}");
  CommandResult r = wendlebox({"--block-commands"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(read_text(file()), "{\n  \"allow_commands\": false,\n  \"sounds\": true,\n  \"git\": false,\n"
                               "  \"command_timeout_seconds\": 120\n}");
}

// The message names the file and how to set it right, for every command
// that reads it.
TEST_F(SettingsCommands, MalformedFileIsReportedAndLeftUntouched) {
  const std::pair<const char*, const char*> cases[] = {
      {"{\"sounds\": \"no\"}", "invalid type: string, expected a boolean for `sounds` at line 1 column 16"},
      {"{\"git\": true, \"git\": false}", "duplicate field `git` at line 1 column 27"},
      {"{\"command_timeout_seconds\": 3601}", "`command_timeout_seconds` must be from 1 to 3600 at line 1 column 33"},
      {"{\"git\": tru", "syntax error while parsing value - invalid literal; last read: '\"git\": tru' at line 1 column 12"},
  };
  for (const auto& [content, error] : cases) {
    write_text(file(), content);
    for (const char* option : {"--allow-git", "--block-git"}) {
      CommandResult r = wendlebox({option});
      EXPECT_EQ(r.exit_code, 1);
      EXPECT_EQ(r.err, "Wendlebox: Could not read Wendlebox settings from " + file().string() + ": " + error +
                           ". Fix the file, or move it away to start again from the defaults.\n");
      EXPECT_EQ(read_text(file()), content);
    }
  }
}

TEST_F(SettingsCommands, FailedWriteLeavesThePreviousFileIntact) {
  ASSERT_EQ(wendlebox({"--block-git"}).exit_code, 0);
  const std::string before = read_text(file());
  // A file-size limit of zero makes every write fail, even as root; the
  // program's error goes out through a pipe, which the limit does not touch.
  CommandResult r = run_binary(
      {.args = {"-c", "set -o pipefail; (ulimit -f 0; trap '' XFSZ; exec \"$0\" --allow-git) 2>&1 | cat >&2", binary_path()},
       .program = "/bin/bash", .cwd = home.path, .home = home.path});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "Wendlebox: File too large\n");
  EXPECT_EQ(read_text(file()), before);
}

}  // namespace

}  // namespace wendlebox
