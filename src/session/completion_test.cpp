#include "session/completion.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sys/wait.h>
#include <unistd.h>

#include "support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

struct CompactCase {
  std::string name, message, logged;
};

void PrintTo(const CompactCase& c, std::ostream* os) { *os << c.name; }

class CompactFinalMessage : public testing::TestWithParam<CompactCase> {};

TEST_P(CompactFinalMessage, HidesCodeAndCutsLongText) {
  EXPECT_EQ(compact_final_message(GetParam().message), GetParam().logged);
}

const std::string k4000(4000, 'a');

INSTANTIATE_TEST_SUITE_P(
    Table, CompactFinalMessage,
    testing::Values(CompactCase{"prose_code_prose", "Done.\n```js\nx();\n```\nEnjoy.", "Done.\n[code omitted]\nEnjoy."},
                    CompactCase{"only_code", "```\ncode\n```\n", "[code omitted]"},
                    CompactCase{"two_blocks", "```a\n1\n```\n```b\n2\n```", "[code omitted]\n[code omitted]"},
                    CompactCase{"indented_fence", "Hi\n   ```python\n   x = 1\n   ```\n  bye", "Hi\n[code omitted]\n  bye"},
                    CompactCase{"unclosed_block", "a\n```\nb\nc", "a\n[code omitted]"},
                    CompactCase{"crlf_lines", "a\r\nb\r\n", "a\nb"},
                    CompactCase{"whitespace_only", " \n\t\n", ""},
                    CompactCase{"exactly_4000", k4000, k4000},
                    CompactCase{"4001", k4000 + "b", k4000 + "… [truncated]"},
                    CompactCase{"multibyte_4001", [] {
                      std::string s;
                      for (int i = 0; i < 4001; ++i) s += "é";
                      return s;
                    }(), [] {
                      std::string s;
                      for (int i = 0; i < 4000; ++i) s += "é";
                      return s + "… [truncated]";
                    }()}));

class CompletionSound : public testing::Test {
 protected:
  // Runs the sound in a child whose PATH holds only the fake programs.
  std::string play(bool wsl) {
    const fs::path log = bin.path / "log";
    const pid_t pid = fork();
    if (pid == 0) {
      setenv("PATH", bin.path.c_str(), 1);
      if (wsl) setenv("WSL_INTEROP", "", 1); else unsetenv("WSL_INTEROP");
      if (!freopen(log.c_str(), "a", stdout)) _exit(126);
      play_completion_sound(Printer(std::cout));
      fflush(stdout);
      _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return read_text(log);
  }
  TempDir bin;
};

TEST_F(CompletionSound, FallsBackFromPowershellToCanberraToTheBell) {
  EXPECT_EQ(play(false), "\a");
  const std::string log = (bin.path / "log").string();
  write_script(bin.path / "canberra-gtk-play", "echo \"canberra $*\" >> " + log);
  EXPECT_EQ(play(false), "\acanberra -i complete -d Wendlebox\n");
  write_script(bin.path / "powershell.exe", "echo \"ps $*\" >> " + log + "; exit 1");
  EXPECT_EQ(play(true), "\acanberra -i complete -d Wendlebox\n"
                        "ps -NoProfile -NonInteractive -Command [System.Media.SystemSounds]::Asterisk.Play()\n"
                        "canberra -i complete -d Wendlebox\n");
}

}  // namespace

}  // namespace wendlebox
