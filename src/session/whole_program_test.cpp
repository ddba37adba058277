// Whole sessions through the real binary on the product's port, with a fake
// browser opener on PATH and a test client playing the extension: the typed
// prompt, Ctrl-C, signals and two sessions side by side need the real
// process. Everything else about a session runs in-process
// (task_in_process_test.cpp and its neighbours).
#include "session/task.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <map>

#include "process/process.h"
#include "session/protocol.h"
#include "session/whole_program_fixture.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

using namespace whole_program;

TEST_F(WholeProgram, ANewChatFinishingInTwoTurns) {
  write_text(work.path / "readme.txt", "hello\n");
  auto wendlebox = start({"create notes"});
  const std::string url = launched();
  ASSERT_TRUE(url.starts_with("https://chatgpt.com/#wendlebox="));
  const std::string token = token_of_url(url);
  ASSERT_EQ(token.size(), 32u);
  FakeExtension tab = extension_for(url);

  auto first = tab.next_job();
  ASSERT_TRUE(first);
  EXPECT_EQ((*first)["id"], 1);
  EXPECT_FALSE(first->contains("attachments"));
  EXPECT_EQ((*first)["prompt"], first_prompt("create notes", work.path.string(), "(none)"));
  wait_for_waiting_lines(*wendlebox, 1);
  tab.post_result({{"id", 1},
                       {"text", block(R"({"status":"continue","message":"Writing notes.","actions":[{"type":"write_file","path":"notes.txt","content":"n\n"}]})")},
                       {"url", kChatUrl + "?x=1"}});
  auto second = tab.next_job();
  ASSERT_TRUE(second);
  EXPECT_EQ((*second)["id"], 2);
  EXPECT_EQ((*second)["prompt"],
            "Wendlebox tool results (JSON):\n[\n  {\n    \"ok\": true,\n    \"result\": {\n      \"bytes\": 2,\n      "
            "\"path\": \"notes.txt\"\n    },\n    \"type\": \"write_file\"\n  }\n]\n\nContinue the task. If finished, "
            "reply with status done and no actions. Keep using one wendlebox JSON block.");
  wait_for_waiting_lines(*wendlebox, 2);
  tab.post_result({{"id", 2}, {"text", kDone}, {"url", kChatUrl}});
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "Wendlebox " + work.path.string() +
                       "\nOpening ChatGPT. Keep this tab open while this session runs (it can stay in the background)."
                       "\n\nGit repository created for this folder.\nWendlebox · turn 1\nWaiting for ChatGPT's reply...\n"
                       "ChatGPT Writing notes.\nWrote notes.txt\n1 + n\nWendlebox · turn 2\nWaiting for ChatGPT's reply...\n"
                       "ChatGPT All set.\nGit snapshot saved.\nChat: " + kChatUrl +
                       "\n\nType a prompt to continue this chat, or /exit to leave it.\n");  // input ended: no "You >"
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






// Two sessions in two folders at once, each on its own port with its own
// extension: the first keeps the address it always had, the second's
// names its port (shown by hand with --no-browser), each answers only its
// own extension, doctor lists both, and both chats are saved. A third in
// the first one's folder is refused on the folder.
TEST_F(WholeProgram, TwoSessionsInTwoFoldersRunAtOnceEachOnItsOwnPort) {
  TempDir elsewhere;
  auto first = start({"first task"});
  const std::string first_url = launched();
  EXPECT_EQ(first_url.find("&port="), std::string::npos) << first_url;
  const std::string page_shown = "(a private file that forwards to ChatGPT with this session's key):\n";
  auto second = start({"--no-browser", "second task"}, "", elsewhere.path);
  ASSERT_TRUE(wait_until([&] { return second->output_so_far().find(page_shown) != std::string::npos; }))
      << second->output_so_far();
  const std::string shown = second->output_so_far();
  const std::size_t page_at = shown.find(page_shown) + page_shown.size();
  const std::string second_url = forwarded_url(shown.substr(page_at, shown.find('\n', page_at) - page_at));
  ASSERT_TRUE(second_url.ends_with("&port=" + std::to_string(kBridgePort + 1))) << second_url;

  FakeExtension first_tab = extension_for(first_url), second_tab = extension_for(second_url);
  // Each session offers its own job, and a tab with the other session's
  // key is refused.
  auto first_job = first_tab.next_job(), second_job = second_tab.next_job();
  ASSERT_TRUE(first_job && second_job);
  EXPECT_NE((*first_job)["prompt"].get<std::string>().find("User task: first task\nWorking folder: " + work.path.string()),
            std::string::npos);
  EXPECT_NE((*second_job)["prompt"].get<std::string>().find("User task: second task\nWorking folder: " +
                                                           fs::canonical(elsewhere.path).string()),
            std::string::npos);
  EXPECT_EQ(FakeExtension(token_of_url(first_url), pairing_key_in(home.path), port_of_url(second_url))
                .request("GET", "/next").status, 403);

  CommandResult here = start({"again"})->finish();
  EXPECT_EQ(here.exit_code, 1);
  EXPECT_TRUE(here.err.starts_with("Wendlebox: Another Wendlebox session (process ")) << here.err;
  EXPECT_NE(here.err.find(" is already working in " + fs::canonical(work.path).string() + ","), std::string::npos)
      << here.err;
  const std::string first_pid = here.err.substr(46, here.err.find(')') - 46);

  CommandResult doctor = run_binary({.args = {"doctor"}, .home = home.path, .path_prefix = bin.path.string()});
  EXPECT_NE(doctor.out.find("Sessions running:\n"), std::string::npos) << doctor.out;
  EXPECT_NE(doctor.out.find("\n  " + fs::canonical(work.path).string() + " (process " + first_pid + ", port " +
                            std::to_string(kBridgePort) + ")\n"),
            std::string::npos) << doctor.out;
  EXPECT_NE(doctor.out.find("\n  " + fs::canonical(elsewhere.path).string() + " (process "), std::string::npos)
      << doctor.out;
  EXPECT_NE(doctor.out.find(", port " + std::to_string(kBridgePort + 1) + ")\n"), std::string::npos) << doctor.out;

  const std::string other_chat = "https://chatgpt.com/c/aaaabbbb-cccc-dddd-eeee-ffff00002222";
  second_tab.post_result({{"id", (*second_job)["id"]}, {"text", kDone}, {"url", other_chat}});
  first_tab.post_result({{"id", (*first_job)["id"]}, {"text", kDone}, {"url", kChatUrl}});
  for (auto* session : {first.get(), second.get()}) {
    CommandResult r = session->finish();
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  }
  const std::string chats = read_text(home.path / ".config/wendlebox/chats.json");
  EXPECT_NE(chats.find(kChatUrl), std::string::npos) << chats;
  EXPECT_NE(chats.find(other_chat), std::string::npos) << chats;
  EXPECT_NE(read_text(elsewhere.path / ".wendlebox/chats.json").find(other_chat), std::string::npos);
  EXPECT_NE(run_binary({.args = {"doctor"}, .home = home.path}).out.find("Sessions running: none\n"), std::string::npos);
}

TEST_F(WholeProgram, TypedPromptsContinueTheChatAndRenameANewOne) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto wendlebox = start({}, "/chat\n/help\n  first typed prompt  \nsecond\n/exit\n");
  FakeExtension tab = extension();
  auto first = tab.answer(kDone, kChatUrl);
  EXPECT_TRUE(first["prompt"].get<std::string>().ends_with("User task: first typed prompt\nWorking folder: " +
                                                            work.path.string() + "\nExtra folders allowed for file "
                                                                                 "actions:\n(none)"));
  auto second = tab.answer(kDone, kChatUrl);
  EXPECT_EQ(second["prompt"], continuation_prompt("second", work.path.string(), "(none)"));
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // A brand-new chat is started by the first prompt, not continued.
  EXPECT_NE(r.out.find("\nType a prompt to start this chat, or /exit to leave.\nYou > "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("You > Chat URL will be saved after the first reply.\nYou > Type a prompt to continue this "
                       "chat. /chat shows its URL; /exit leaves the session.\n"),
            std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  /help  this list\nYou > Wendlebox · turn 1\n"), std::string::npos) << r.out;
  EXPECT_NE(read_text(home.path / ".config/wendlebox/chats.json").find("\"title\": \"first typed prompt\""),
            std::string::npos);
}


// During a command the first Ctrl-C stops that command alone: ChatGPT gets
// what it printed and the prompt goes on. A second one soon after stops
// the prompt; while ChatGPT answers, one Ctrl-C stops the prompt.
TEST_F(WholeProgram, CtrlCStopsTheCommandThenThePromptAndTheSessionGoesOnInTheSameChat) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto wendlebox = std::make_unique<RunningBinary>(BinaryRun{.args = {"long task"}, .cwd = work.path, .home = home.path,
                                                             .path_prefix = bin.path.string(), .keep_stdin_open = true});
  FakeExtension tab = extension();
  const auto printed = [&](const std::string& text, std::size_t times = 1) {
    return wait_until([&] {
      const std::string out = wendlebox->output_so_far();
      std::size_t seen = 0;
      for (std::size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1)) ++seen;
      return seen >= times;
    });
  };
  // A command that would run for ten minutes, with a job of its own in the background.
  tab.answer(block(R"({"status":"continue","actions":[{"type":"run","command":"echo started; sleep 600 & echo $! > bg.pid; sleep 600"},{"type":"write_file","path":"after.txt","content":"x"}]})"),
                 kChatUrl);
  ASSERT_TRUE(printed("  started\n"));
  ASSERT_TRUE(wait_until([&] { return fs::exists(work.path / "bg.pid") && !read_text(work.path / "bg.pid").empty(); }));
  wendlebox->interrupt();
  auto told = tab.next_job();
  ASSERT_TRUE(told) << wendlebox->output_so_far();
  const std::string results = (*told)["prompt"];
  EXPECT_NE(results.find("\"stdout\": \"started\\n\",\n      \"stopped_by_user\": true"), std::string::npos) << results;
  EXPECT_NE(results.find("\"bytes\": 1,\n      \"path\": \"after.txt\""), std::string::npos) << results;
  const pid_t background = std::stoi(read_text(work.path / "bg.pid"));
  EXPECT_TRUE(wait_until([&] { return ::kill(background, 0) != 0; }));  // what it started ended with it
  EXPECT_NE(wendlebox->output_so_far().find("Stopped by Ctrl-C\n"), std::string::npos);

  // Ctrl-C again soon after the first stops the prompt.
  tab.answer(block(R"({"status":"continue","actions":[{"type":"run","command":"sleep 600"},{"type":"run","command":"sleep 600"},{"type":"write_file","path":"later.txt","content":"x"}]})"));
  ASSERT_TRUE(printed("Run sleep 600"));
  wendlebox->interrupt();
  ASSERT_TRUE(printed("Ctrl-C: stopping this command", 2));
  wendlebox->interrupt();
  ASSERT_TRUE(printed("Interrupted.\n"));
  EXPECT_FALSE(fs::exists(work.path / "later.txt"));  // nothing further ran
  EXPECT_EQ(extension().request("GET", "/next").status, 204);  // no job is left
  wendlebox->send_input("carry on\n");
  auto next = tab.next_job();
  ASSERT_TRUE(next);
  EXPECT_EQ((*next)["prompt"], continuation_prompt("carry on", work.path.string(), "(none)"));
  // Ctrl-C while waiting for ChatGPT withdraws the job too; at the follow-up
  // prompt it ends the program, as it always did.
  wendlebox->interrupt();
  ASSERT_TRUE(wait_until([&] {
    const std::string out = wendlebox->output_so_far();
    return out.rfind("Interrupted.\n") > out.find("Interrupted.\n") && out.ends_with("You > ");
  }));
  EXPECT_EQ(extension().request("GET", "/next").status, 204);
  wendlebox->interrupt();
  EXPECT_EQ(wendlebox->finish().exit_code, -1);  // ended by the signal
  EXPECT_NE(read_text(home.path / ".config/wendlebox/chats.json").find(kChatUrl), std::string::npos);
}


// Closing the terminal (SIGHUP) or a shutdown (SIGTERM) ends the session as
// /exit does: what its commands left running ends, even what left their
// process group, the forwarding page goes, the chat stays saved, and then
// the program ends by the signal.
TEST_F(WholeProgram, HangupAndTerminateEndTheSessionLikeExit) {
  write_script(bin.path / "plain-browser", "echo \"$1\" >> " + (bin.path / "plain-urls").string());
  for (const int signal : {SIGHUP, SIGTERM}) {
    write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
    for (const char* file : {"plain-urls", "job.pid", "own.pid"}) fs::remove((file[0] == 'p' ? bin.path : work.path) / file);
    // SIGHUP on a terminal, at the line editor's prompt in raw mode.
    const bool terminal = signal == SIGHUP;
    RunningBinary wendlebox(BinaryRun{.args = {"--browser", "plain-browser", "go"}, .cwd = work.path,
                                      .home = home.path, .env = {{"TERM", terminal ? "xterm" : "dumb"}},
                                      .path_prefix = bin.path.string(), .keep_stdin_open = true,
                                      .terminal = terminal});
    const fs::path page = last_opened_argument(bin.path / "plain-urls");
    FakeExtension tab = extension_for(forwarded_url(page.string()));
    tab.answer(block(R"({"status":"continue","actions":[{"type":"run","command":)"
                         R"("sleep 600 & echo $! > job.pid; setsid sh -c 'echo $$ > own.pid; exec sleep 600' &"}]})"));
    tab.answer(kDone, kChatUrl);
    const pid_t job = pid_in_file(work.path / "job.pid"), own = pid_in_file(work.path / "own.pid");
    ASSERT_TRUE(wait_until([&] { return wendlebox.output_so_far().find("You >") != std::string::npos; }))
        << wendlebox.output_so_far();
    wendlebox.send_signal(signal);
    const std::string stopped = "Stopped what 1 of this session's commands left running in the background.";
    EXPECT_TRUE(wait_until([&] { return wendlebox.output_so_far().find(stopped) != std::string::npos; }))
        << wendlebox.output_so_far();
    CommandResult r = wendlebox.finish();
    EXPECT_EQ(r.signal, signal) << r.out << r.err;
    // The line editor left its raw mode, as it says by turning bracketed paste off.
    if (terminal) {
      EXPECT_NE(r.out.find("\x1b[?2004l", r.out.rfind("You >")), std::string::npos) << r.out;
    }
    EXPECT_FALSE(fs::exists(page));
    EXPECT_NE(read_text(home.path / ".config/wendlebox/chats.json").find(kChatUrl), std::string::npos);
    for (const pid_t pid : {job, own}) {
      EXPECT_TRUE(wait_until([&] { return process_ended(pid); })) << pid;
      if (!process_ended(pid)) ::kill(pid, SIGKILL);
    }
  }
}

}  // namespace

}  // namespace wendlebox
