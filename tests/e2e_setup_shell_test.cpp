// The shell offered after installation, driven through a pseudo-terminal.
// It starts a session (which binds the bridge port), so it runs alone.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

class SetupShell : public testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(binary_path(), dist.path / "wendlebox");
    write_script(bin.path / "xdg-open", "exit 0");
    fs::create_directory(home.path / "my folder");
    pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::chdir(home.path.c_str()) != 0) _exit(126);
      ::setenv("HOME", home.path.c_str(), 1);
      ::setenv("SHELL", "/bin/sh", 1);
      ::setenv("NO_COLOR", "1", 1);
      ::setenv("PATH", (bin.path.string() + ":/usr/bin:/bin").c_str(), 1);
      for (const char* name : {"XDG_CONFIG_HOME", "LANG", "LC_ALL", "LANGUAGE", "WENDLEBOX_LANG"}) ::unsetenv(name);
      ::execl((dist.path / "wendlebox").c_str(), "wendlebox", "setup", nullptr);
      _exit(127);
    }
  }
  void TearDown() override {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
    ::close(master);
  }
  // Reads until `text` has appeared after what was already seen.
  bool expect_output(const std::string& text) {
    return wait_until([&] {
      pollfd ready{master, POLLIN, 0};
      if (::poll(&ready, 1, 10) > 0) {
        char buffer[4096];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) screen.append(buffer, static_cast<std::size_t>(n));
      }
      const std::size_t at = screen.find(text, seen);
      if (at == std::string::npos) return false;
      seen = at + text.size();
      return true;
    });
  }
  void type(const std::string& text) { ASSERT_EQ(::write(master, text.data(), text.size()), (ssize_t)text.size()); }

  TempDir home, dist, bin;
  pid_t pid = -1;
  int master = -1;
  std::string screen;
  std::size_t seen = 0;
};

TEST_F(SetupShell, RunsCommandsChangesFolderAndSurvivesCtrlC) {
  const std::string prompt = "wendlebox " + home.path.string() + "> ";
  ASSERT_TRUE(expect_output("You can use Wendlebox right here.")) << screen;
  ASSERT_TRUE(expect_output("Tip: cd <folder> changes the project folder.\r\n\r\n" + prompt)) << screen;

  type("wendlebox --chats\n");
  ASSERT_TRUE(expect_output("No saved chats for this project yet.\r\n" + home.path.string() + "\r\n\r\n" + prompt))
      << screen;
  type("WENDLEBOX\n");
  ASSERT_TRUE(expect_output("WENDLEBOX\r\n\r\n" + prompt)) << screen;
  type("cd nowhere\n");
  ASSERT_TRUE(expect_output("Folder not found.\r\n\r\n" + prompt)) << screen;
  type("cd \"my folder\"\n");
  const std::string moved = "wendlebox " + (home.path / "my folder").string() + "> ";
  ASSERT_TRUE(expect_output("\r\n\r\n" + moved)) << screen;

  type("\"write a poem\"\n");  // a session that waits for the extension
  ASSERT_TRUE(expect_output("Opening ChatGPT.")) << screen;
  type("\x03");
  ASSERT_TRUE(expect_output("Back at the Wendlebox prompt.\r\n\r\n" + moved)) << screen;

  type("\n");
  int status = -1;
  ASSERT_TRUE(wait_until([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }));
  pid = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace

}  // namespace wendlebox
