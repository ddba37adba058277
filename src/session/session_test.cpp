// Sessions in-process, each on a free port, so they run beside every other
// test: the browser and the terminal are stood in for, the rest is real
// (files, Git, the bridge over loopback).
#include <gtest/gtest.h>
#include <linux/sched.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "process/process.h"
#include "session/protocol.h"
#include "support/bridge_client.h"
#include "support/in_process.h"
#include "support/support.h"

namespace {

// A child process with the id `pid` (which must be free), leading a process
// group of its own and waiting to be killed; -1 when the id was taken.
pid_t spawn_with_pid(pid_t pid) {
  clone_args arguments{};
  arguments.exit_signal = SIGCHLD;
  arguments.set_tid = reinterpret_cast<std::uintptr_t>(&pid);
  arguments.set_tid_size = 1;
  const long child = ::syscall(SYS_clone3, &arguments, sizeof arguments);
  if (child == 0) {
    ::setpgid(0, 0);
    for (;;) ::pause();
  }
  return static_cast<pid_t>(child);
}

std::string block(const std::string& json) { return "Here you go.\n```wendlebox\n" + json + "\n```\n"; }
const std::string kChatId = "aaaabbbb-cccc-dddd-eeee-ffff00001111";
const std::string kChatUrl = "https://chatgpt.com/c/" + kChatId;
const std::string kDone = block(R"({"status":"done","message":"All set."})");

// The whole program from its command line, as the user starts it.
class Session : public testing::Test {
 protected:
  void SetUp() override { write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false}"); }
  fs::path urls() const { return bin.path / "urls"; }
  std::unique_ptr<InProcessProgram> start(std::vector<std::string> args, std::string input = "",
                                          const fs::path& cwd = {}) {
    return start(BinaryRun{.args = std::move(args), .cwd = cwd.empty() ? work.path : cwd, .home = home.path,
                           .input = std::move(input)});
  }
  std::unique_ptr<InProcessProgram> start(const BinaryRun& run,
                                          InProcessProgram::Link link = InProcessProgram::Link::Memory) {
    auto program = std::make_unique<InProcessProgram>(run, urls(), link);
    latest = program.get();
    return program;
  }
  // The URL the browser was opened on; waits for the session to open it.
  std::string launched() const { return last_opened_url(urls()); }
  FakeExtension extension() { return FakeExtension(latest->exchange()); }
  // Once the prompt is over: its /undo, then /exit.
  static CommandResult undo_and_exit(InProcessProgram& wendlebox) {
    const auto printed = [&](const std::string& text) {
      return wait_until([&] { return wendlebox.output_so_far().find(text) != std::string::npos; });
    };
    EXPECT_TRUE(printed("You > "));
    wendlebox.send_input("/undo\n");
    EXPECT_TRUE(printed("changes were undone")) << wendlebox.output_so_far();
    wendlebox.send_input("/exit\n");
    return wendlebox.finish();
  }

  TempDir home, work, bin;
  InProcessProgram* latest = nullptr;
};

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
  FakeExtension browser = extension();
  const std::string first = browser.answer(kDone, kChatUrl)["prompt"];
  const std::string second = browser.answer(kDone, kChatUrl)["prompt"];
  EXPECT_EQ(wendlebox->finish().exit_code, 0);
  for (std::string_view told : {"prefer edit_file to write_file", "\"start_line\"", "{\"type\":\"search\""}) {
    EXPECT_NE(first.find(told), std::string::npos) << told;
    EXPECT_EQ(second.find(told), std::string::npos) << told;
  }
  EXPECT_EQ(second, continuation_prompt("second", work.path.string(), "(none)"));
}

// /undo takes back what the prompt changed (edited or written) and nothing
// else: a file the user made since stays, and a file both changed is left
// and named.
TEST_F(Session, UndoTakesBackOnlyWhatThePromptChanged) {
  write_text(work.path / "a.txt", "old\n");
  auto wendlebox = start(BinaryRun{.args = {"change a"}, .cwd = work.path, .home = home.path,
                                   .env = {{"GIT_CONFIG_GLOBAL", "/dev/null"}}, .keep_stdin_open = true});
  FakeExtension browser = extension();
  browser.answer(block(R"({"status":"continue","actions":[{"type":"edit_file","path":"a.txt","edits":[{"old":"old","new":"new"}]},)"
                       R"({"type":"write_file","path":"c.txt","content":"c\n"}]})"));
  browser.answer(kDone, kChatUrl);
  const auto printed = [&](const std::string& text) {
    return wait_until([&] { return wendlebox->output_so_far().find(text) != std::string::npos; });
  };
  ASSERT_TRUE(printed("You > "));
  EXPECT_EQ(read_text(work.path / "a.txt"), "new\n");
  write_text(work.path / "b.txt", "someone else's\n");
  write_text(work.path / "c.txt", "c, then the user's\n");
  wendlebox->send_input("/undo\n");
  ASSERT_TRUE(printed("No earlier prompt of this session is left to undo.")) << wendlebox->output_so_far();
  EXPECT_NE(wendlebox->output_so_far().find("The last prompt's changes were undone.\nUndone prompt: change a\n"
                                             "Left as they are, as they were changed by someone else too: c.txt\n"),
            std::string::npos) << wendlebox->output_so_far();
  EXPECT_EQ(read_text(work.path / "a.txt"), "old\n");
  EXPECT_EQ(read_text(work.path / "b.txt"), "someone else's\n");
  EXPECT_EQ(read_text(work.path / "c.txt"), "c, then the user's\n");
  wendlebox->send_input("go on\n");
  auto next = browser.answer(kDone, kChatUrl);
  EXPECT_TRUE(next["prompt"].get<std::string>().starts_with("Note: the user undid your last change;")) << next["prompt"];
  wendlebox->send_input("/exit\n");
  EXPECT_EQ(wendlebox->finish().exit_code, 0);
}

// A file the user makes while ChatGPT answers is theirs, though the
// prompt's writes come right before and after it: /undo leaves it.
TEST_F(Session, WhatTheUserMadeBetweenTwoRepliesOutlivesTheUndo) {
  write_text(work.path / "readme.txt", "hello\n");
  auto wendlebox = start(BinaryRun{.args = {"two files"}, .cwd = work.path, .home = home.path,
                                   .env = {{"GIT_CONFIG_GLOBAL", "/dev/null"}}, .keep_stdin_open = true});
  FakeExtension browser = extension();
  browser.answer(block(R"({"status":"continue","actions":[{"type":"write_file","path":"a.txt","content":"a\n"}]})"));
  auto second = browser.next_job();  // the first reply's actions have run
  ASSERT_TRUE(second);
  write_text(work.path / "mine.txt", "the user's\n");
  browser.post_result({{"id", (*second)["id"]},
                       {"text", block(R"({"status":"continue","actions":[{"type":"write_file","path":"b.txt","content":"b\n"}]})")}});
  browser.answer(kDone, kChatUrl);
  EXPECT_EQ(undo_and_exit(*wendlebox).exit_code, 0);
  EXPECT_FALSE(fs::exists(work.path / "a.txt"));
  EXPECT_FALSE(fs::exists(work.path / "b.txt"));
  EXPECT_EQ(read_text(work.path / "mine.txt"), "the user's\n");
}

// A file over the size kept in memory, Git-ignored, that a write replaced:
// its copy lies in a private folder while the session runs, /undo puts it
// back byte for byte, and nothing of the copies stays once the session ends.
TEST_F(Session, ALargeIgnoredFileComesBackAndItsCopyGoesWithTheSession) {
  TempDir temporary;
  std::string large(5'000'000, 'x');
  large += "\r\nend";
  write_text(work.path / ".gitignore", "*.bin\n");
  write_text(work.path / "data.bin", large);
  auto wendlebox = start(BinaryRun{.args = {"shrink the data"}, .cwd = work.path, .home = home.path,
                                   .env = {{"GIT_CONFIG_GLOBAL", "/dev/null"}, {"TMPDIR", temporary.path.string()}},
                                   .keep_stdin_open = true});
  FakeExtension browser = extension();
  browser.answer(block(R"({"status":"continue","actions":[{"type":"write_file","path":"data.bin","content":"small\n"}]})"));
  browser.answer(kDone, kChatUrl);
  const auto printed = [&](const std::string& text) {
    return wait_until([&] { return wendlebox->output_so_far().find(text) != std::string::npos; });
  };
  ASSERT_TRUE(printed("You > "));
  std::vector<fs::path> kept(fs::directory_iterator(temporary.path), fs::directory_iterator());
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_TRUE(kept[0].filename().string().starts_with("wendlebox-undo-"));
  EXPECT_EQ(fs::status(kept[0]).permissions(), fs::perms::owner_all);
  wendlebox->send_input("/undo\n");
  ASSERT_TRUE(printed("No earlier prompt of this session is left to undo.")) << wendlebox->output_so_far();
  EXPECT_TRUE(read_text(work.path / "data.bin") == large);
  wendlebox->send_input("/exit\n");
  EXPECT_EQ(wendlebox->finish().exit_code, 0);
  EXPECT_TRUE(fs::is_empty(temporary.path));
}

// A session that fails mid-prompt takes the copies with it too.
TEST_F(Session, TheCopiesGoWhenTheSessionFails) {
  TempDir temporary;
  write_text(work.path / "data.bin", std::string(5'000'000, 'x'));
  auto wendlebox = start(BinaryRun{.args = {"go"}, .cwd = work.path, .home = home.path,
                                   .env = {{"GIT_CONFIG_GLOBAL", "/dev/null"}, {"TMPDIR", temporary.path.string()}}});
  FakeExtension browser = extension();
  browser.answer(block(R"({"status":"continue","actions":[{"type":"write_file","path":"data.bin","content":"small\n"}]})"));
  auto job = browser.next_job();
  ASSERT_TRUE(job);
  EXPECT_FALSE(fs::is_empty(temporary.path));
  browser.post_result({{"id", (*job)["id"]}, {"error", "Composer not found"}});
  EXPECT_EQ(wendlebox->finish().exit_code, 1);
  EXPECT_TRUE(fs::is_empty(temporary.path));
}

// In a folder that had no repository and no file, the prompt's commit is
// the repository's first: /undo takes it back and counts no prompt left.
TEST_F(Session, TheFirstPromptOfANewRepositoryIsUndoneWithoutAGitError) {
  auto wendlebox = start(BinaryRun{.args = {"make a game"}, .cwd = work.path, .home = home.path,
                                   .env = {{"GIT_CONFIG_GLOBAL", "/dev/null"}}, .keep_stdin_open = true});
  FakeExtension browser = extension();
  browser.answer(block(R"({"status":"continue","actions":[{"type":"write_file","path":"game.py","content":"x\n"}]})"));
  browser.answer(kDone, kChatUrl);
  const auto printed = [&](const std::string& text) {
    return wait_until([&] { return wendlebox->output_so_far().find(text) != std::string::npos; });
  };
  ASSERT_TRUE(printed("You > "));
  wendlebox->send_input("/undo\n");
  ASSERT_TRUE(printed("No earlier prompt of this session is left to undo.")) << wendlebox->output_so_far();
  wendlebox->send_input("/undo\n");
  ASSERT_TRUE(printed("Nothing to undo: every prompt this session committed has been undone."));
  wendlebox->send_input("/exit\n");
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out.find("Cannot undo"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(work.path / "game.py"));
  auto commits = run_process(ProcessSpec{.argv = {"git", "rev-list", "--all", "--count"}, .cwd = work.path});
  ASSERT_TRUE(commits);
  EXPECT_EQ(commits->output, "0\n");
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
  FakeExtension browser = extension();
  auto job = browser.answer(kDone);
  EXPECT_TRUE(job["prompt"].get<std::string>().ends_with("actions:\n" + (home.path / "shared").string()));
  EXPECT_EQ(wendlebox->finish().exit_code, 0);
}

// A reply that could write the settings would switch commands back on: in
// the home folder they stay out of reach, and the session said so at the start.
TEST_F(Session, InTheHomeFolderTheSettingsAreOutOfReachAndTheSessionSaysSoOnce) {
  const std::string settings = "{\"sounds\": false, \"git\": false, \"allow_commands\": false}";
  write_text(home.path / ".config/wendlebox/settings.json", settings);
  auto wendlebox = start({"go"}, "", home.path);
  FakeExtension browser = extension();
  browser.answer(block(R"({"status":"continue","actions":[{"type":"write_file",)"
                       R"("path":".config/wendlebox/settings.json","content":"{}"}]})"));
  auto second = browser.answer(kDone);
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
  FakeExtension browser = extension();
  const nlohmann::json first = browser.answer(kWrite);
  browser.answer(kDone, kChatUrl);
  const CommandResult r = wendlebox->finish();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(first["prompt"].get<std::string>().find("User task: write notes\n"), std::string::npos);
  EXPECT_EQ(read_text(work.path / "notes.txt"), "n\n");
  EXPECT_NE(r.out.find("Wrote notes.txt\n"), std::string::npos) << r.out;
  EXPECT_EQ(wendlebox->addresses_shown(), (std::vector<std::optional<std::string>>{kChatUrl}));
}

TEST_F(Session, AnExtensionOfAnotherVersionIsReportedOnceAndRemembered) {
  auto wendlebox = start({"write notes"});
  FakeExtension browser = extension();
  browser.set_version("0.0.1");
  browser.answer(kWrite);
  browser.answer(kDone);
  const CommandResult r = wendlebox->finish();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::string warning = "The browser extension (0.0.1) does not match this program (" WENDLEBOX_VERSION ")";
  const std::size_t first = r.out.find(warning);
  EXPECT_NE(first, std::string::npos) << r.out;
  EXPECT_EQ(r.out.find(warning, first + 1), std::string::npos);  // once
  EXPECT_EQ(read_text(home.path / ".config/wendlebox/extension-seen"), "0.0.1");
}

}  // namespace

// --probe asks for a report instead of a prompt, prints each landmark and
// the candidates for the editor and the file input, and writes the report
// beside the user; a report it cannot read is a failure.
TEST_F(Session, ProbePrintsTheLandmarksAndWritesTheReport) {
  auto wendlebox = start({"--probe"});
  FakeExtension browser = extension();
  auto job = browser.next_job();
  ASSERT_TRUE(job);
  EXPECT_EQ((*job)["probe"], true);
  EXPECT_EQ((*job)["prompt"], "");
  const std::string report =
      R"({"landmarks":[{"name":"composer form","found":true,"how":"structure: form"},)"
      R"({"name":"send button","found":false,"how":"not found\u001b[2J"}],"skeleton":{"tag":"body"},)"
      R"("composers":[{"what":"[data-composer-markdown][contenteditable] 0×0","used":false},)"
      R"({"what":"[data-composer-markdown][contenteditable] 640×48","used":true}],)"
      R"("fileInputs":[{"what":"input[type=\"file\"][capture=\"environment\"] in the composer","used":false}]})";
  browser.post_result({{"id", (*job)["id"]}, {"text", report}});
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("  composer form            structure: form\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("not found\\x1b[2J\n1 of 2 landmarks found.\nMessage boxes on the page:\n"
                       "  [data-composer-markdown][contenteditable] 0×0\n"
                       "  [data-composer-markdown][contenteditable] 640×48  (used)\n"
                       "File inputs on the page:\n  input[type=\"file\"][capture=\"environment\"] in the composer\n"),
            std::string::npos)
      << r.out;
  std::vector<fs::path> written;
  for (const auto& entry : fs::directory_iterator(work.path)) written.push_back(entry.path());
  ASSERT_EQ(written.size(), 1u);
  EXPECT_TRUE(written[0].filename().string().starts_with("wendlebox-probe-"));
  EXPECT_NE(read_text(written[0]).find("\"skeleton\": {"), std::string::npos);

  auto again = start({"--probe"});
  FakeExtension second = extension();
  second.answer("not a report");
  EXPECT_EQ(again->finish().err, "Wendlebox: The extension's report is not a JSON object.\n");

  // A wrongly typed field is a message naming it, not an end of the program.
  auto typed = start({"--probe"});
  FakeExtension third = extension();
  third.answer(R"({"landmarks":[{"name":5}]})");
  const std::string err = typed->finish().err;
  EXPECT_TRUE(err.starts_with("Wendlebox: The extension's report has a landmark that cannot be read: invalid type: "
                              "number, expected a string for `name`"))
      << err;
  auto listed = start({"--probe"});
  FakeExtension fourth = extension();
  fourth.answer(R"({"landmarks":[],"fileInputs":[{"what":"x","used":"yes"}]})");
  const std::string listed_err = listed->finish().err;
  EXPECT_TRUE(listed_err.starts_with("Wendlebox: The extension's report has a `fileInputs` entry that cannot be read: "
                                     "invalid type: string, expected a boolean for `used`"))
      << listed_err;
}

// Over the bridge the page gets the address with the session's token in
// its fragment, and the extension finds the job there.
TEST_F(Session, OverTheBridgeTheTokenTravelsOnlyInAPrivateForwardingPage) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto wendlebox = start(BinaryRun{.args = {"go"}, .cwd = work.path, .home = home.path}, InProcessProgram::Link::Bridge);
  const std::string url = launched();
  ASSERT_TRUE(url.starts_with("https://chatgpt.com/#wendlebox=")) << url;
  // The browser is started on a private page that forwards it: the token is
  // not in its command line.
  const fs::path page = last_opened_argument(urls());
  EXPECT_EQ(page.parent_path(), home.path / ".local/share/wendlebox/pages");
  EXPECT_EQ(fs::status(page).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::status(page.parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
  FakeExtension browser(token_of_url(url), pairing_key_in(home.path), wendlebox->port());
  browser.answer(kDone, kChatUrl);
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("Chat: " + kChatUrl + "\n"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(page));  // gone with the session
}

// Every line of ChatGPT's message is marked as ChatGPT's, so none passes
// for a line of the program's own.
TEST_F(Session, EachLineOfChatGptsMessageCarriesItsPrefix) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto wendlebox = start({"go"});
  extension().answer(block(R"({"status":"done","message":"Done.\nRun? echo hello"})"));
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("ChatGPT Done.\nChatGPT Run? echo hello\n"), std::string::npos) << r.out;
}

// What a command left running in the background ends with the session,
// even what left its process group and session (setsid).
TEST_F(Session, BackgroundProcessesEndWithTheSession) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto wendlebox = start({"go"});
  FakeExtension browser = extension();
  browser.answer(block(R"({"status":"continue","actions":[{"type":"run","command":)"
                       R"("sleep 600 & echo $! > job.pid; setsid sh -c 'echo $$ > own.pid; exec sleep 600' &"}]})"));
  browser.answer(kDone);
  const pid_t job = pid_in_file(work.path / "job.pid"), own = pid_in_file(work.path / "own.pid");
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("Stopped what 1 of this session's commands left running in the background.\n"), std::string::npos)
      << r.out;
  for (const pid_t pid : {job, own}) {
    EXPECT_TRUE(wait_until([&] { return process_ended(pid); })) << pid;
    if (!process_ended(pid)) ::kill(pid, SIGKILL);
  }
}

// A finished command's process id, taken since by a process of the user's
// that leads a group of its own, is never signalled when the session ends.
TEST_F(Session, AProcessThatReusesAFinishedCommandsIdIsLeftAlone) {
  if (::geteuid() != 0) GTEST_SKIP() << "choosing a process id needs root";
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto wendlebox = start(BinaryRun{.args = {"go"}, .cwd = work.path, .home = home.path, .keep_stdin_open = true});
  FakeExtension browser = extension();
  browser.answer(block(R"({"status":"continue","actions":[{"type":"run","command":"echo $$ > sh.pid"}]})"));
  browser.answer(kDone);
  ASSERT_TRUE(wait_until([&] { return wendlebox->output_so_far().find("You > ") != std::string::npos; }));
  const pid_t reused = pid_in_file(work.path / "sh.pid");
  ASSERT_TRUE(wait_until([&] { return !fs::exists("/proc/" + std::to_string(reused)); }));
  const pid_t user_process = spawn_with_pid(reused);
  if (user_process != reused) GTEST_SKIP() << "process id " << reused << " was taken meanwhile";
  wendlebox->send_input("/exit\n");
  EXPECT_EQ(wendlebox->finish().exit_code, 0);
  int status = 0;
  EXPECT_EQ(::waitpid(user_process, &status, WNOHANG), 0) << "the user's process was signalled";
  ::kill(user_process, SIGKILL);
  ::waitpid(user_process, nullptr, 0);
}

// /undo leaves nothing the prompt created, even what Git ignores (and a
// .gitignore that hides every file from later snapshots).
TEST_F(Session, UndoRemovesWhatThePromptCreatedThatGitIgnores) {
  write_text(work.path / "readme.txt", "hello\n");
  write_text(work.path / "out/build.log", "kept\n");
  write_text(work.path / ".git/info/exclude", "out/\n");
  auto wendlebox = start(BinaryRun{.args = {"hide"}, .cwd = work.path, .home = home.path,
                                   .env = {{"GIT_CONFIG_GLOBAL", "/dev/null"}}, .keep_stdin_open = true});
  FakeExtension browser = extension();
  browser.answer(block(R"({"status":"continue","actions":[{"type":"write_file","path":".gitignore","content":"*\n"},)"
                       R"({"type":"write_file","path":".envrc","content":"x\n"}]})"));
  browser.answer(kDone, kChatUrl);
  CommandResult r = undo_and_exit(*wendlebox);
  EXPECT_EQ(r.out.find("Left as they are"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(work.path / ".gitignore"));
  EXPECT_FALSE(fs::exists(work.path / ".envrc"));
  EXPECT_EQ(read_text(work.path / "out/build.log"), "kept\n");  // there before the prompt: kept
}

// An extension that holds another pairing key than the program's (it was
// not reloaded after setup) is refused over the real bridge, and the
// terminal says once to reload it, however often it asks; the paired
// extension is served all along.
TEST_F(Session, AnExtensionWithAnotherPairingKeyIsToldOnceToBeReloaded) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto wendlebox = start(BinaryRun{.args = {"go"}, .cwd = work.path, .home = home.path}, InProcessProgram::Link::Bridge);
  const std::string url = launched();
  FakeExtension stale(token_of_url(url), std::string(64, 'b'), wendlebox->port());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(stale.request("GET", "/next").body, R"({"error":"Pairing mismatch"})");
  const std::string told = "The Wendlebox extension in the browser holds a pairing key other than this program's";
  ASSERT_TRUE(wait_until([&] { return wendlebox->output_so_far().find(told) != std::string::npos; }));
  FakeExtension(token_of_url(url), pairing_key_in(home.path), wendlebox->port()).answer(kDone);
  const CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out.find(told), r.out.rfind(told)) << r.out;
}

// Without a way to open the browser, or with --no-browser, the private page
// that leads to the chat is shown, to be opened by hand, and the session goes on.
TEST_F(Session, WithoutOpeningTheBrowserThePageIsShownAndTheSessionGoesOn) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  const std::string shown = "Open this page in the browser where the extension is installed (a private file that "
                            "forwards to ChatGPT with this session's key):\n";
  for (const auto& [args, link, why] : {
           std::tuple{std::vector<std::string>{"go"}, InProcessProgram::Link::BridgeWithoutOpener, "No browser opener found.\n"},
           std::tuple{std::vector<std::string>{"--no-browser", "go"}, InProcessProgram::Link::Bridge,
                      "Not opening the browser (--no-browser).\n"}}) {
    auto wendlebox = start(BinaryRun{.args = args, .cwd = work.path, .home = home.path}, link);
    ASSERT_TRUE(wait_until([&] { return wendlebox->output_so_far().find(shown) != std::string::npos; }));
    const std::string out = wendlebox->output_so_far();
    const std::size_t page = out.find(why + shown);
    ASSERT_NE(page, std::string::npos) << out;
    const std::size_t start = page + std::string(why).size() + shown.size();
    const std::string path = out.substr(start, out.find('\n', start) - start);
    // Nothing was opened, and nothing says it was.
    EXPECT_EQ(out.find("Opening ChatGPT."), std::string::npos) << out;
    EXPECT_NE(out.find("Keep the ChatGPT tab open while this session runs"), std::string::npos) << out;
    FakeExtension(token_of_url(forwarded_url(path)), pairing_key_in(home.path), wendlebox->port()).answer(kDone);
    EXPECT_EQ(wendlebox->finish().exit_code, 0);
    EXPECT_FALSE(fs::exists(urls()));  // nothing was handed to an opener
  }
}
