// The project's instructions: found, read as safely as ChatGPT's own reads,
// and sent once per chat (again only when they change).
#include "session/project_instructions.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <functional>

#include "common/text.h"
#include "session/protocol.h"
#include "support/bridge_client.h"
#include "support/in_process.h"
#include "support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

const std::string kChatUrl = "https://chatgpt.com/c/aaaabbbb-cccc-dddd-eeee-ffff00001111";
const std::string kDone = "```wendlebox\n{\"status\":\"done\",\"message\":\"All set.\"}\n```\n";
const std::string kSaid = "Sent the project's instructions to ChatGPT: AGENTS.md\n";

std::string section(const std::string& text) {
  return "\n\nProject instructions from AGENTS.md (the project's own conventions for coding agents; follow them "
         "unless they conflict with the Wendlebox protocol):\n" +
         text + "\nEnd of project instructions.";
}

class ProjectInstructionsSession : public testing::Test {
 protected:
  void SetUp() override { write_text(settings(), "{\"sounds\": false, \"git\": false}"); }
  fs::path settings() const { return home.path / ".config/wendlebox/settings.json"; }
  // One session: `first` is the prompt its first job must carry; then the
  // typed `later` prompts; returns what it printed.
  std::string session(std::vector<std::string> args, const std::string& first, const std::string& later = "") {
    InProcessProgram wendlebox(BinaryRun{.args = std::move(args), .cwd = work.path, .home = home.path, .input = later},
                               bin.path / "urls");
    FakeExtension tab(wendlebox.exchange());
    EXPECT_EQ(tab.answer(kDone, kChatUrl)["prompt"], first);
    if (!later.empty()) {  // a later prompt of the same session never carries them
      EXPECT_EQ(tab.answer(kDone, kChatUrl)["prompt"], continuation_prompt("later", folder(), "(none)"));
    }
    const CommandResult r = wendlebox.finish();
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return r.out;
  }
  std::string folder() const { return work.path.string(); }
  TempDir home, work, bin;
};

// The first prompt carries AGENTS.md (not CLAUDE.md beside it) and says so
// once; the chat resumed later does not hear them again until they change.
TEST_F(ProjectInstructionsSession, GoWithTheFirstPromptOnlyAndAgainOnceChanged) {
  write_text(work.path / "AGENTS.md", "Use tabs.\r\nRun make test.\n");
  write_text(work.path / "CLAUDE.md", "Not this one.");
  const std::string out = session({"go"}, first_prompt("go", folder(), "(none)") + section("Use tabs.\nRun make test.\n"),
                                   "later\n");
  EXPECT_EQ(out.find(kSaid), out.rfind(kSaid));
  EXPECT_NE(out.find(kSaid), std::string::npos) << out;

  const std::string resumed = session({"again", "1"}, first_prompt("again", folder(), "(none)"));
  EXPECT_EQ(resumed.find("Sent the project's"), std::string::npos) << resumed;
  EXPECT_TRUE(resumed.starts_with("Resuming chat 1: go (" + folder() + ")\n")) << resumed;

  write_text(work.path / "AGENTS.md", "Use spaces.");
  EXPECT_NE(session({"once more", "1"}, first_prompt("once more", folder(), "(none)") + section("Use spaces."))
                .find(kSaid),
            std::string::npos);

  write_text(settings(), "{\"sounds\": false, \"git\": false, \"project_instructions\": false}");
  write_text(work.path / "AGENTS.md", "Use both.");
  EXPECT_EQ(session({"quiet", "1"}, first_prompt("quiet", folder(), "(none)")).find("Sent the project's"),
            std::string::npos);
}

struct FindCase {
  const char* name;
  std::function<void(const fs::path& work, const fs::path& outside)> setup;
  std::optional<std::string> text;  // what is sent; nullopt: nothing is found
  std::string error;                // the start of the failure, when the file is refused
};

void PrintTo(const FindCase& c, std::ostream* os) { *os << c.name; }

class FindInstructions : public testing::TestWithParam<FindCase> {};

TEST_P(FindInstructions, ReadsOnlyWhatAnActionCouldRead) {
  TempDir work, outside;
  GetParam().setup(work.path, outside.path);
  const fs::path folder = work.path / "app";
  fs::create_directories(folder);
  auto found = find_project_instructions(folder, {folder});
  if (!GetParam().error.empty()) {
    ASSERT_FALSE(found);
    EXPECT_TRUE(found.error().message.starts_with((work.path / GetParam().error).string() + ": ")) << found.error();
    return;
  }
  ASSERT_TRUE(found) << found.error();
  ASSERT_EQ(found->has_value(), GetParam().text.has_value());
  if (GetParam().text) {
    EXPECT_EQ((*found)->text, *GetParam().text);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, FindInstructions,
    testing::Values(
        FindCase{"none", [](const fs::path&, const fs::path&) {}, std::nullopt, ""},
        FindCase{"the repository's top folder, by the next name",
                 [](const fs::path& work, const fs::path&) {
                   fs::create_directories(work / ".git");
                   write_text(work / ".github/copilot-instructions.md", "top");
                 },
                 "top", ""},
        FindCase{"a link leading outside is refused, not passed over",
                 [](const fs::path& work, const fs::path& outside) {
                   write_text(outside / "secret", "key");
                   fs::create_directories(work / "app");
                   fs::create_symlink(outside / "secret", work / "app/AGENTS.md");
                   write_text(work / "app/CLAUDE.md", "fallback");
                 },
                 std::nullopt, "app/AGENTS.md"},
        FindCase{"control characters are shown, not sent",
                 [](const fs::path& work, const fs::path&) { write_text(work / "app/GEMINI.md", "a\x1b[2Jb\rc\x7f"); },
                 "a\\x1b[2Jb\\rc\\x7f", ""}));

// A huge file is read only so far and cut before a character, never inside.
TEST(ProjectInstructions, AHugeFileIsCutOnACharacterWithANote) {
  TempDir work;
  std::string text = "x";
  while (text.size() < 3 * kMaxInstructionBytes) text += "é";
  write_text(work.path / "AGENTS.md", text);
  auto found = find_project_instructions(work.path, {work.path});
  ASSERT_TRUE(found && *found);
  const ProjectInstructions& instructions = **found;
  EXPECT_EQ(instructions.text, text.substr(0, kMaxInstructionBytes - 1));  // 16383 bytes: x and whole é's
  EXPECT_TRUE(is_valid_utf8(instructions.text));
  EXPECT_NE(instructions_section(instructions, "AGENTS.md")
                .find(fmt::format("[Cut here: the file holds {} bytes, only the first 16384 are shown. Read AGENTS.md "
                                  "for the rest.]\nEnd of project instructions.",
                                  text.size())),
            std::string::npos);
}

}  // namespace

}  // namespace wendlebox
