// Whole sessions through the real binary, with a fake browser opener on
// PATH and a test client playing the extension.
#include "session/task.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "common/process.h"
#include "session/protocol.h"
#include "support/bridge_client.h"
#include "support/support.h"

namespace {

const std::string kChatId = "aaaabbbb-cccc-dddd-eeee-ffff00001111";
const std::string kChatUrl = "https://chatgpt.com/c/" + kChatId;

std::string block(const std::string& json) { return "Here you go.\n```wendlebox\n" + json + "\n```\n"; }
const std::string kDone = block(R"({"status":"done","message":"All set."})");

class Session : public testing::Test {
 protected:
  void SetUp() override {
    write_script(bin.path / "xdg-open", "echo \"$1\" >> " + urls().string());
    write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false}");
  }
  fs::path urls() const { return bin.path / "urls"; }
  std::unique_ptr<RunningBinary> start(std::vector<std::string> args, std::string input = "",
                                       const fs::path& cwd = {}) {
    return std::make_unique<RunningBinary>(BinaryRun{.args = std::move(args), .cwd = cwd.empty() ? work.path : cwd,
                                                     .home = home.path, .path_prefix = bin.path.string(),
                                                     .input = std::move(input)});
  }
  // The URL the browser was opened on; waits for the session to open it.
  std::string launched() {
    wait_until([&] { return fs::exists(urls()) && read_text(urls()).ends_with("\n"); });
    std::string text = read_text(urls());
    if (text.empty()) return "";
    text.pop_back();
    return text.substr(text.rfind('\n') + 1);
  }
  FakeExtension extension() { return FakeExtension(token_of_url(launched())); }
  // Like ChatGPT, which takes a while to answer: waits until the session
  // has seen the job taken and said so `count` times.
  static void wait_for_waiting_lines(const RunningBinary& wendlebox, std::size_t count) {
    wait_until([&] {
      const std::string out = wendlebox.output_so_far();
      std::size_t seen = 0;
      for (std::size_t at = out.find("Waiting for"); at != std::string::npos; at = out.find("Waiting for", at + 1)) ++seen;
      return seen >= count;
    });
  }

  TempDir home, work, bin;
};

TEST_F(Session, ANewChatFinishingInTwoTurns) {
  write_text(work.path / "readme.txt", "hello\n");
  auto wendlebox = start({"create notes"});
  const std::string url = launched();
  ASSERT_TRUE(url.starts_with("https://chatgpt.com/#wendlebox="));
  const std::string token = token_of_url(url);
  ASSERT_EQ(token.size(), 32u);
  FakeExtension browser(token);

  auto first = browser.next_job();
  ASSERT_TRUE(first);
  EXPECT_EQ((*first)["id"], 1);
  EXPECT_FALSE(first->contains("attachments"));
  EXPECT_EQ((*first)["prompt"], first_prompt("create notes", work.path.string(), "(none)"));
  wait_for_waiting_lines(*wendlebox, 1);
  browser.post_result({{"id", 1},
                       {"text", block(R"({"status":"continue","message":"Writing notes.","actions":[{"type":"write_file","path":"notes.txt","content":"n\n"}]})")},
                       {"url", kChatUrl + "?x=1"}});
  auto second = browser.next_job();
  ASSERT_TRUE(second);
  EXPECT_EQ((*second)["id"], 2);
  EXPECT_EQ((*second)["prompt"],
            "Wendlebox tool results (JSON):\n[\n  {\n    \"ok\": true,\n    \"result\": {\n      \"bytes\": 2,\n      "
            "\"path\": \"notes.txt\"\n    },\n    \"type\": \"write_file\"\n  }\n]\n\nContinue the task. If finished, "
            "reply with status done and no actions. Keep using one wendlebox JSON block.");
  wait_for_waiting_lines(*wendlebox, 2);
  browser.post_result({{"id", 2}, {"text", kDone}, {"url", kChatUrl}});
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "Wendlebox " + work.path.string() +
                       "\nOpening ChatGPT. Keep this tab open while this session runs (it can stay in the background)."
                       "\n\nType a prompt to continue this chat, or /exit to leave it.\n"
                       "Git repository created for this folder.\nWendlebox · turn 1\nWaiting for ChatGPT's reply...\n"
                       "ChatGPT Writing notes.\nWrote notes.txt\nWendlebox · turn 2\nWaiting for ChatGPT's reply...\n"
                       "ChatGPT All set.\nGit snapshot saved.\nChat: " + kChatUrl + "\n\nYou > ");
  EXPECT_EQ(read_text(work.path / "notes.txt"), "n\n");

  // The chat has an id of its own: the session token is in no file.
  const std::string global = read_text(home.path / ".config/wendlebox/chats.json");
  const std::string id = global.substr(global.find("\"id\": \"") + 7, 32);
  EXPECT_NE(id, token);
  EXPECT_NE(global.find("\"id\": \"" + id + "\",\n    \"title\": \"create notes\",\n    \"url\": \"" + kChatUrl),
            std::string::npos) << global;
  EXPECT_NE(read_text(work.path / ".wendlebox/chats.json").find("\"id\": \"" + id + "\""), std::string::npos);
  EXPECT_EQ(global.find(token), std::string::npos);
  const std::string log = read_text(work.path / ".wendlebox/chatlogs" / (id + ".jsonl"));
  EXPECT_EQ(log.find(token), std::string::npos);
  EXPECT_EQ(fs::status(work.path / ".wendlebox").permissions(), fs::perms(0700));  // made by the session
  EXPECT_EQ(fs::status(home.path / ".config/wendlebox/chats.json").permissions(), fs::perms(0600));
  EXPECT_EQ(fs::status(work.path / ".wendlebox/chatlogs" / (id + ".jsonl")).permissions(), fs::perms(0600));
  EXPECT_NE(log.find("\"role\":\"user\",\"text\":\"create notes\"}\n{\"at\":"), std::string::npos) << log;
  EXPECT_TRUE(log.ends_with("\"role\":\"done\",\"text\":\"All set.\"}\n")) << log;

  auto git = run_process(ProcessSpec{.argv = {"git", "log", "--format=%s|%b"}, .cwd = work.path});
  ASSERT_TRUE(git);
  EXPECT_NE(git->output.find("|create notes\n"), std::string::npos) << git->output;
  EXPECT_NE(git->output.find("Wendlebox: initial snapshot|"), std::string::npos) << git->output;
  auto status = run_process(ProcessSpec{.argv = {"git", "status", "--porcelain"}, .cwd = work.path});
  EXPECT_EQ(status->output, "");  // .wendlebox is excluded, notes.txt committed
}

TEST_F(Session, DoneWithActionsAndContinueWithoutActionsKeepTheLoopGoing) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto wendlebox = start({"go"});
  FakeExtension browser = extension();
  browser.answer(block(R"({"status":"done","actions":[{"type":"deploy"}]})"));
  auto second = browser.next_job();
  ASSERT_TRUE(second);
  EXPECT_NE((*second)["prompt"].get<std::string>().find("\"error\": \"Unknown action: deploy\""), std::string::npos);
  browser.post_result({{"id", (*second)["id"]}, {"text", block(R"({"status":"continue"})")}});
  auto third = browser.next_job();
  ASSERT_TRUE(third);
  EXPECT_TRUE((*third)["prompt"].get<std::string>().starts_with("Wendlebox tool results (JSON):\n[]\n\n"));
  browser.post_result({{"id", (*third)["id"]}, {"text", kDone}});
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out.find("Git"), std::string::npos);
  EXPECT_NE(r.out.find("Wendlebox · turn 3\n"), std::string::npos);
  EXPECT_EQ(r.out.find("Chat: "), std::string::npos);  // no reply brought a chat address
}

TEST_F(Session, AReadmeHoldingItsOwnCodeFencesIsWrittenIntact) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto wendlebox = start({"write the readme"});
  FakeExtension browser = extension();
  const std::string readme = "# Tool\n\n```sh\nmake\n```\n";
  browser.answer("Here it is.\n```wendlebox\n" +
                 Json{{"status", "continue"}, {"actions", {{{"type", "write_file"}, {"path", "README.md"}, {"content", readme}}}}}.dump(2) +
                 "\n```\n");
  browser.answer(kDone);
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(read_text(work.path / "README.md"), readme);
  EXPECT_EQ(r.out.find("turn 3"), std::string::npos);  // no retry was needed
}

TEST_F(Session, UnreadableRepliesAreRetriedTwiceThenEndTheSession) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto wendlebox = start({"go"});
  FakeExtension browser = extension();
  browser.answer("no block here");
  auto retry = browser.next_job();
  ASSERT_TRUE(retry);
  EXPECT_EQ((*retry)["prompt"], retry_prompt("No wendlebox code block"));
  browser.post_result({{"id", (*retry)["id"]}, {"text", "```wendlebox\n{"}});
  auto retry2 = browser.next_job();
  EXPECT_EQ((*retry2)["prompt"], retry_prompt("Unclosed wendlebox code block"));
  browser.post_result({{"id", (*retry2)["id"]}, {"text", "still nothing"}});
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "Wendlebox: Could not read ChatGPT's agent response: No wendlebox code block\n\nstill nothing\n");
}

TEST_F(Session, StopsAfter24Turns) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto wendlebox = start({"go"});
  FakeExtension browser = extension();
  for (int turn = 1; turn <= 24; ++turn) {
    auto job = browser.answer(block(R"({"status":"continue"})"));
    EXPECT_EQ(job["id"], turn);
  }
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "Wendlebox: Stopped after 24 turns. Continue later with wendlebox <chat number>.\n");
}

TEST_F(Session, AReplyWithAnAddressAndAnErrorSavesTheChatThenFails) {
  auto wendlebox = start({"go"}, "", work.path);
  FakeExtension browser = extension();
  auto job = browser.next_job();
  browser.post_result({{"id", (*job)["id"]}, {"url", kChatUrl}, {"error", "Composer not found"}});
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "Wendlebox: Browser: Composer not found\n");
  EXPECT_NE(read_text(home.path / ".config/wendlebox/chats.json").find(kChatUrl), std::string::npos);
}

TEST_F(Session, ASecondSessionFailsOnThePortAndANewOneRunsRightAfter) {
  auto first = start({"go"});
  FakeExtension browser = extension();
  auto second = start({"again"});
  CommandResult refused = second->finish();
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(refused.err, "Wendlebox: Another Wendlebox task is already using port 47833. Finish it first.\n");
  const auto launches = [&] {
    const std::string text = read_text(urls());
    return std::count(text.begin(), text.end(), '\n');
  };
  EXPECT_EQ(launches(), 1);
  browser.answer(kDone);
  EXPECT_EQ(first->finish().exit_code, 0);

  auto third = start({"once more"});
  wait_until([&] { return launches() == 2; });
  extension().answer(kDone);
  EXPECT_EQ(third->finish().exit_code, 0);
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

TEST_F(Session, TypedPromptsContinueTheChatAndRenameANewOne) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto wendlebox = start({}, "/chat\n/help\n  first typed prompt  \nsecond\n/exit\n");
  FakeExtension browser = extension();
  auto first = browser.answer(kDone, kChatUrl);
  EXPECT_TRUE(first["prompt"].get<std::string>().ends_with("User task: first typed prompt\nWorking folder: " +
                                                            work.path.string() + "\nExtra folders allowed for file "
                                                                                 "actions:\n(none)"));
  auto second = browser.answer(kDone, kChatUrl);
  EXPECT_EQ(second["prompt"], continuation_prompt("second", work.path.string(), "(none)"));
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("You > Chat URL will be saved after the first reply.\nYou > Type a prompt to continue this "
                       "chat. /chat shows its URL; /exit leaves the session.\n"),
            std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  /help  this list\nYou > Wendlebox · turn 1\n"), std::string::npos) << r.out;
  EXPECT_NE(read_text(home.path / ".config/wendlebox/chats.json").find("\"title\": \"first typed prompt\""),
            std::string::npos);
}

TEST_F(Session, UndoTakesTheLastPromptBackOnlyWhenNothingElseChanged) {
  write_text(work.path / "a.txt", "old\n");
  auto wendlebox = std::make_unique<RunningBinary>(BinaryRun{.args = {"change a"}, .cwd = work.path, .home = home.path,
                                                             .env = {{"GIT_CONFIG_GLOBAL", "/dev/null"}},
                                                             .path_prefix = bin.path.string(), .keep_stdin_open = true});
  FakeExtension browser = extension();
  browser.answer(block(R"({"status":"continue","actions":[{"type":"write_file","path":"a.txt","content":"new\n"}]})"));
  browser.answer(kDone, kChatUrl);
  const auto printed = [&](const std::string& text) {
    return wait_until([&] { return wendlebox->output_so_far().find(text) != std::string::npos; });
  };
  ASSERT_TRUE(printed("You > "));
  EXPECT_EQ(read_text(work.path / "a.txt"), "new\n");
  write_text(work.path / "b.txt", "someone else's\n");
  wendlebox->send_input("/undo\n");
  ASSERT_TRUE(printed("Cannot undo: files have changed since the last prompt"));
  EXPECT_EQ(read_text(work.path / "a.txt"), "new\n");
  fs::remove(work.path / "b.txt");
  wendlebox->send_input("/undo\n");
  ASSERT_TRUE(printed("The last prompt's changes were undone."));
  EXPECT_EQ(read_text(work.path / "a.txt"), "old\n");
  wendlebox->send_input("go on\n");
  auto next = browser.answer(kDone, kChatUrl);
  EXPECT_TRUE(next["prompt"].get<std::string>().starts_with("Note: the user undid your last change;")) << next["prompt"];
  wendlebox->send_input("/exit\n");
  EXPECT_EQ(wendlebox->finish().exit_code, 0);
}

TEST_F(Session, CtrlCStopsThePromptAndTheSessionGoesOnInTheSameChat) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto wendlebox = std::make_unique<RunningBinary>(BinaryRun{.args = {"long task"}, .cwd = work.path, .home = home.path,
                                                             .path_prefix = bin.path.string(), .keep_stdin_open = true});
  FakeExtension browser = extension();
  // A command that would run for ten minutes, with a job of its own in the background.
  browser.answer(block(R"({"status":"continue","actions":[{"type":"run","command":"sleep 600 & echo $! > bg.pid; sleep 600"},{"type":"write_file","path":"after.txt","content":"x"}]})"),
                 kChatUrl);
  const auto printed = [&](const std::string& text) {
    return wait_until([&] { return wendlebox->output_so_far().find(text) != std::string::npos; });
  };
  ASSERT_TRUE(printed("Run sleep 600"));
  ASSERT_TRUE(wait_until([&] { return fs::exists(work.path / "bg.pid") && !read_text(work.path / "bg.pid").empty(); }));
  wendlebox->interrupt();
  ASSERT_TRUE(printed("Interrupted.\n"));
  EXPECT_FALSE(fs::exists(work.path / "after.txt"));  // nothing further ran
  const pid_t background = std::stoi(read_text(work.path / "bg.pid"));
  EXPECT_TRUE(wait_until([&] { return ::kill(background, 0) != 0; }));  // its whole process group ended
  EXPECT_EQ(http_get("/next?token=" + token_of_url(launched())).status, 204);  // no job is left
  wendlebox->send_input("carry on\n");
  auto next = browser.next_job();
  ASSERT_TRUE(next);
  EXPECT_EQ((*next)["prompt"], continuation_prompt("carry on", work.path.string(), "(none)"));
  // Ctrl-C while waiting for ChatGPT withdraws the job too; at the follow-up
  // prompt it ends the program, as it always did.
  wendlebox->interrupt();
  ASSERT_TRUE(wait_until([&] {
    const std::string out = wendlebox->output_so_far();
    return out.rfind("Interrupted.\n") > out.find("Interrupted.\n") && out.ends_with("You > ");
  }));
  EXPECT_EQ(http_get("/next?token=" + token_of_url(launched())).status, 204);
  wendlebox->interrupt();
  EXPECT_EQ(wendlebox->finish().exit_code, -1);  // ended by the signal
  EXPECT_NE(read_text(home.path / ".config/wendlebox/chats.json").find(kChatUrl), std::string::npos);
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
  FakeExtension browser = extension();
  auto job = browser.answer(kDone);
  EXPECT_TRUE(job["prompt"].get<std::string>().ends_with("actions:\n" + (home.path / "shared").string()));
  EXPECT_EQ(wendlebox->finish().exit_code, 0);
}

}  // namespace

namespace {

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

}  // namespace
