// task() in-process: the turns of a prompt, the replies it reads, what the
// command line opens and sends, and the folders a session works on.
#include <gtest/gtest.h>

#include "process/process.h"
#include "session/protocol.h"
#include "session/task_in_process_fixture.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

using namespace task_in_process;

TEST_F(Session, DoneWithActionsAndContinueWithoutActionsKeepTheLoopGoing) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto wendlebox = start({"go"});
  FakeExtension tab = extension();
  tab.answer(block(R"({"status":"done","actions":[{"type":"deploy"}]})"));
  auto second = tab.next_job();
  ASSERT_TRUE(second);
  EXPECT_NE((*second)["prompt"].get<std::string>().find("\"error\": \"Unknown action: deploy\""), std::string::npos);
  tab.post_result({{"id", (*second)["id"]}, {"text", block(R"({"status":"continue"})")}});
  auto third = tab.next_job();
  ASSERT_TRUE(third);
  EXPECT_TRUE((*third)["prompt"].get<std::string>().starts_with("Wendlebox tool results (JSON):\n[]\n\n"));
  tab.post_result({{"id", (*third)["id"]}, {"text", kDone}});
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out.find("Git"), std::string::npos);
  EXPECT_NE(r.out.find("Wendlebox · turn 3\n"), std::string::npos);
  EXPECT_EQ(r.out.find("Chat: "), std::string::npos);  // no reply brought a chat address
}

TEST_F(Session, AReadmeHoldingItsOwnCodeFencesIsWrittenIntact) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto wendlebox = start({"write the readme"});
  FakeExtension tab = extension();
  const std::string readme = "# Tool\n\n```sh\nmake\n```\n";
  tab.answer("Here it is.\n```wendlebox\n" +
                 Json{{"status", "continue"}, {"actions", {{{"type", "write_file"}, {"path", "README.md"}, {"content", readme}}}}}.dump(2) +
                 "\n```\n");
  tab.answer(kDone);
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(read_text(work.path / "README.md"), readme);
  EXPECT_EQ(r.out.find("turn 3"), std::string::npos);  // no retry was needed
}

TEST_F(Session, UnreadableRepliesAreRetriedTwiceThenEndTheSession) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto wendlebox = start({"go"});
  FakeExtension tab = extension();
  tab.answer("no block here");
  auto retry = tab.next_job();
  ASSERT_TRUE(retry);
  EXPECT_EQ((*retry)["prompt"], retry_prompt("No wendlebox code block"));
  tab.post_result({{"id", (*retry)["id"]}, {"text", "```wendlebox\n{"}});
  auto retry2 = tab.next_job();
  EXPECT_EQ((*retry2)["prompt"], retry_prompt("Unclosed wendlebox code block"));
  tab.post_result({{"id", (*retry2)["id"]}, {"text", "still nothing"}});
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "Wendlebox: Could not read ChatGPT's agent response: No wendlebox code block\n\nstill nothing\n");
}

TEST_F(Session, StopsAfter24Turns) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto wendlebox = start({"go"});
  FakeExtension tab = extension();
  for (int turn = 1; turn <= 24; ++turn) {
    auto job = tab.answer(block(R"({"status":"continue"})"));
    EXPECT_EQ(job["id"], turn);
  }
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "Wendlebox: Stopped after 24 turns. Continue later with wendlebox <chat number>.\n");
}

TEST_F(Session, AReplyWithAnAddressAndAnErrorSavesTheChatThenFails) {
  auto wendlebox = start({"go"}, "", work.path);
  FakeExtension tab = extension();
  auto job = tab.next_job();
  tab.post_result({{"id", (*job)["id"]}, {"url", kChatUrl}, {"error", "Composer not found"}});
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "Wendlebox: Browser: Composer not found\n");
  EXPECT_NE(read_text(home.path / ".config/wendlebox/chats.json").find(kChatUrl), std::string::npos);
}

TEST_F(Session, ASavedChatOpensItsAddressWithoutTheOldFragment) {
  write_text(home.path / ".config/wendlebox/chats.json",
             "[{\"id\":\"" + kChatId + "\",\"title\":\"Old\",\"url\":\"" + kChatUrl + "#old\",\"folder\":\"" +
                 work.path.string() + "\",\"updated\":1}]");
  auto wendlebox = start({"1"});
  const std::string url = launched();
  EXPECT_EQ(url.substr(0, url.find("#wendlebox=")), kChatUrl);
  CommandResult r = wendlebox->finish();  // no prompt typed: the session ends at once
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(r.out.ends_with("Type a prompt to continue this chat, or /exit to leave it.\nYou > "));
}

// A chat saved by an older version never heard of edits, line ranges or
// search: its next prompt teaches them, and only that one.
TEST_F(Session, AResumedChatIsToldOfEditsRangesAndSearchOnce) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  write_text(home.path / ".config/wendlebox/chats.json",
             "[{\"id\":\"" + kChatId + "\",\"title\":\"Old\",\"url\":\"" + kChatUrl + "\",\"folder\":\"" +
                 work.path.string() + "\",\"updated\":1}]");
  auto wendlebox = start({"1"}, "first\nsecond\n");
  FakeExtension tab = extension();
  const std::string first = tab.answer(kDone, kChatUrl)["prompt"];
  const std::string second = tab.answer(kDone, kChatUrl)["prompt"];
  EXPECT_EQ(wendlebox->finish().exit_code, 0);
  for (std::string_view told : {"prefer edit_file to write_file", "\"start_line\"", "{\"type\":\"search\""}) {
    EXPECT_NE(first.find(told), std::string::npos) << told;
    EXPECT_EQ(second.find(told), std::string::npos) << told;
  }
  EXPECT_EQ(second, continuation_prompt("second", work.path.string(), "(none)"));
}


// A folder the session cannot write is said before the browser opens or
// ChatGPT is asked anything, naming the folder and what failed.
TEST_F(Session, AFolderThatCannotBeWrittenIsReportedBeforeChatGptIsAsked) {
  write_script(bin.path / "xdg-open", "echo \"$1\" >> " + urls().string());
  BinaryRun run{.args = {"make a game"}, .cwd = work.path, .home = home.path, .path_prefix = bin.path.string()};
  std::string why = "Permission denied). Give yourself write access (chmod u+w " + work.path.string() +
                    "), or start wendlebox in another folder.";
  if (::geteuid() == 0) {
    // Modes do not stop root: a read-only mount of the folder does.
    auto mounts = run_process(ProcessSpec{.argv = {"unshare", "-m", "true"}});
    if (!mounts || !mounts->status.success()) GTEST_SKIP() << "root without a mount namespace of its own";
    run.program = "/usr/bin/unshare";
    run.args = {"-m", "sh", "-c",
                "mount --bind \"$1\" \"$1\" && mount -o remount,bind,ro \"$1\" && cd \"$1\" && exec \"$2\" 'make a game'",
                "sh", work.path.string(), binary_path()};
    why = "Read-only file system). Start wendlebox in a folder on a file system that can be written.";
  } else {
    fs::permissions(work.path, fs::perms::owner_read | fs::perms::owner_exec);
  }
  CommandResult r = run_binary(run);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "Wendlebox: Wendlebox cannot work in " + work.path.string() + ": " + work.path.string() +
                       " cannot be written (" + why + "\n");
  EXPECT_FALSE(fs::exists(urls()));  // no browser was opened
}

TEST_F(Session, ExtraFoldersThatCannotBeUsedAreLeftOut) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  fs::create_directories(home.path / "shared");
  fs::create_directory_symlink(home.path / "shared", home.path / "link");
  write_text(home.path / "file", "");
  write_text(home.path / ".config/wendlebox/allowed-folders.json",
             "{\"folders\": [\"" + work.path.string() + "\", \"" + (home.path / "missing").string() + "\", \"" +
                 (home.path / "file").string() + "\", \"" + (home.path / "link").string() + "\", \"" +
                 (home.path / "shared").string() + "\", \"" + (home.path / "shared").string() + "/\"]}");
  auto wendlebox = start({"go"});
  FakeExtension tab = extension();
  auto job = tab.answer(kDone);
  EXPECT_TRUE(job["prompt"].get<std::string>().ends_with("actions:\n" + (home.path / "shared").string()));
  EXPECT_EQ(wendlebox->finish().exit_code, 0);
}

// A reply that could write the settings would switch commands back on: in
// the home folder they stay out of reach, and the session said so at the start.
TEST_F(Session, InTheHomeFolderTheSettingsAreOutOfReachAndTheSessionSaysSoOnce) {
  const std::string settings = "{\"sounds\": false, \"git\": false, \"allow_commands\": false}";
  write_text(home.path / ".config/wendlebox/settings.json", settings);
  auto wendlebox = start({"go"}, "", home.path);
  FakeExtension tab = extension();
  tab.answer(block(R"({"status":"continue","actions":[{"type":"write_file",)"
                       R"("path":".config/wendlebox/settings.json","content":"{}"}]})"));
  auto second = tab.answer(kDone);
  EXPECT_NE(second["prompt"].get<std::string>().find("Wendlebox's own settings and data cannot be reached by actions"),
            std::string::npos);
  const CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  const std::size_t notice = r.out.find("This session reaches your whole home folder");
  ASSERT_NE(notice, std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("This session reaches your whole home folder", notice + 1), std::string::npos);
  EXPECT_EQ(read_text(home.path / ".config/wendlebox/settings.json"), settings);
}

struct DispatchCase {
  std::vector<std::string> args;
  std::string opened;                 // the launched address before "#wendlebox="
  std::optional<std::string> task;    // the "User task: " line of the first job, if one is sent
};

void PrintTo(const DispatchCase& c, std::ostream* os) {
  for (const std::string& a : c.args) *os << '[' << a << "] ";
}

std::string saved_url(char digit) { return "https://chatgpt.com/c/" + std::string(8, digit) + "-0000-0000-0000-000000000000"; }

// What the command line starts: which chat is opened and which prompt is sent.
class Dispatch : public Session, public testing::WithParamInterface<DispatchCase> {};

TEST_P(Dispatch, OpensTheChosenChatWithThePrompt) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  std::string chats = "[";
  for (char digit : {'1', '2', '3'})
    chats += std::string(digit == '1' ? "" : ",") + "{\"id\":\"" + std::string(8, digit) + "\",\"title\":\"t\",\"url\":\"" +
             saved_url(digit) + "\",\"folder\":\"" + work.path.string() + "\",\"updated\":" + digit + "}";
  write_text(home.path / ".config/wendlebox/chats.json", chats + "]");
  const DispatchCase& c = GetParam();
  auto wendlebox = start(c.args);
  const std::string url = launched();
  EXPECT_EQ(url.substr(0, url.find("#wendlebox=")), c.opened);
  if (c.task) {
    auto job = extension().answer(kDone);
    EXPECT_NE(job["prompt"].get<std::string>().find("\nUser task: " + *c.task + "\nWorking folder: "), std::string::npos)
        << job["prompt"];
  }
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Dispatch,
    testing::Values(DispatchCase{{}, "https://chatgpt.com/", std::nullopt},
                    DispatchCase{{"   "}, "https://chatgpt.com/", std::nullopt},
                    DispatchCase{{"history"}, "https://chatgpt.com/", "history"},
                    DispatchCase{{"add", "a", "menu", "2"}, saved_url('2'), "add a menu"},
                    DispatchCase{{"2", "apples"}, "https://chatgpt.com/", "2 apples"},
                    DispatchCase{{"+3"}, saved_url('3'), std::nullopt},
                    DispatchCase{{"--", "-7"}, "https://chatgpt.com/", "-7"},
                    DispatchCase{{"--", "--chats"}, "https://chatgpt.com/", "--chats"},
                    DispatchCase{{"--force-yes", "x", saved_url('1') + "?y=1"}, saved_url('1'), "x"},
                    DispatchCase{{" spaced  words "}, "https://chatgpt.com/", " spaced  words "}));


TEST_F(Session, APromptAloneContinuesTheProjectsLatestChatOnlyInAProject) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  write_text(home.path / ".config/wendlebox/chats.json",
             "[{\"id\":\"11111111\",\"title\":\"t\",\"url\":\"" + saved_url('1') + "\",\"folder\":\"" +
                 work.path.string() + "\",\"updated\":5}]");
  auto outside = start({"go on"});
  EXPECT_EQ(launched().substr(0, 20), "https://chatgpt.com/");
  EXPECT_EQ(launched().find("/c/"), std::string::npos);
  extension().answer(kDone);
  EXPECT_EQ(outside->finish().exit_code, 0);

  // That task made the folder a project; the chat saved by the first run
  // has no address, so the saved chat from the global list is the latest.
  fs::remove_all(work.path / ".wendlebox");
  fs::create_directory(work.path / ".wendlebox");
  auto inside = start({"go on"});
  wait_until([&] {
    const std::string text = read_text(urls());
    return std::count(text.begin(), text.end(), '\n') == 2;
  });
  EXPECT_EQ(launched().substr(0, launched().find('#')), saved_url('1'));
  extension().answer(kDone);
  EXPECT_EQ(inside->finish().exit_code, 0);
}

const std::string kWrite = block(R"({"status":"continue","actions":[{"type":"write_file","path":"notes.txt","content":"n\n"}]})");

TEST_F(Session, RunsTurnsUntilDoneThenAsksForTheNextPromptShowingTheChatsAddress) {
  auto wendlebox = start({"write notes"});
  FakeExtension tab = extension();
  const nlohmann::json first = tab.answer(kWrite);
  tab.answer(kDone, kChatUrl);
  const CommandResult r = wendlebox->finish();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(first["prompt"].get<std::string>().find("User task: write notes\n"), std::string::npos);
  EXPECT_EQ(read_text(work.path / "notes.txt"), "n\n");
  EXPECT_NE(r.out.find("Wrote notes.txt\n"), std::string::npos) << r.out;
  EXPECT_EQ(wendlebox->addresses_shown(), (std::vector<std::optional<std::string>>{kChatUrl}));
}

TEST_F(Session, AnExtensionOfAnotherVersionIsReportedOnceAndRemembered) {
  auto wendlebox = start({"write notes"});
  FakeExtension tab = extension();
  tab.set_version("0.0.1");
  tab.answer(kWrite);
  tab.answer(kDone);
  const CommandResult r = wendlebox->finish();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::string warning = "The browser extension (0.0.1) does not match this program (" WENDLEBOX_VERSION ")";
  const std::size_t first = r.out.find(warning);
  EXPECT_NE(first, std::string::npos) << r.out;
  EXPECT_EQ(r.out.find(warning, first + 1), std::string::npos);  // once
  EXPECT_EQ(read_text(home.path / ".config/wendlebox/extension-seen"), "0.0.1");
}

}  // namespace

}  // namespace wendlebox
