// task() in-process: what the commands of a session left running in the
// background ends with it, and nothing else does.
#include <gtest/gtest.h>
#include <linux/sched.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "process/process.h"
#include "session/task_in_process_fixture.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

using namespace task_in_process;

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

// What a command left running in the background ends with the session,
// even what left its process group and session (setsid).
TEST_F(Session, BackgroundProcessesEndWithTheSession) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto wendlebox = start({"go"});
  FakeExtension tab = extension();
  tab.answer(block(R"({"status":"continue","actions":[{"type":"run","command":)"
                       R"("sleep 600 & echo $! > job.pid; setsid sh -c 'echo $$ > own.pid; exec sleep 600' &"}]})"));
  tab.answer(kDone);
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
  FakeExtension tab = extension();
  tab.answer(block(R"({"status":"continue","actions":[{"type":"run","command":"echo $$ > sh.pid"}]})"));
  tab.answer(kDone);
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

}  // namespace

}  // namespace wendlebox
