#include "i18n/i18n.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

#include "support/support.h"

namespace wendlebox {

using i18n::Language;

struct LanguageCase {
  std::map<std::string, std::string> env;
  Language expected;
};

void PrintTo(const LanguageCase& c, std::ostream* os) {
  for (const auto& [k, v] : c.env) *os << k << '=' << v << ' ';
}

class DetectLanguage : public testing::TestWithParam<LanguageCase> {};

TEST_P(DetectLanguage, ReadsTheEnvironmentInOrder) {
  const LanguageCase& c = GetParam();
  const EnvLookup env = [&](std::string_view name) -> std::optional<std::string> {
    auto found = c.env.find(std::string(name));
    if (found == c.env.end()) return std::nullopt;
    return found->second;
  };
  EXPECT_EQ(i18n::detect(env), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DetectLanguage,
    testing::Values(LanguageCase{{}, Language::English},
                    LanguageCase{{{"WENDLEBOX_LANG", "fr_FR"}, {"LANG", "pt_BR.UTF-8"}}, Language::English},
                    LanguageCase{{{"WENDLEBOX_LANG", "C"}, {"LANG", "es_ES.UTF-8"}}, Language::Spanish},
                    LanguageCase{{{"LC_ALL", "fr_FR.UTF-8"}, {"LANG", "pt_BR.UTF-8"}}, Language::Portuguese},
                    LanguageCase{{{"LANGUAGE", "fr:es"}}, Language::Spanish},
                    LanguageCase{{{"LANGUAGE", "::pt"}}, Language::Portuguese},
                    LanguageCase{{{"LANG", "  PT_br.UTF-8  "}}, Language::Portuguese},
                    LanguageCase{{{"LANG", "Portuguese_Brazil.1252"}}, Language::Portuguese},
                    LanguageCase{{{"LANG", "spanish"}}, Language::Spanish},
                    LanguageCase{{{"LANG", "pt-PT"}}, Language::Portuguese},
                    LanguageCase{{{"LANG", "C.UTF-8"}}, Language::English},
                    LanguageCase{{{"LC_MESSAGES", "POSIX"}, {"LANG", "es"}}, Language::Spanish},
                    LanguageCase{{{"WENDLEBOX_LANG", "   "}, {"LANG", "es"}}, Language::Spanish},
                    LanguageCase{{{"LANG", "\xff\xfe"}, {"LANGUAGE", "es"}}, Language::Spanish}));

// The failure line of the real binary, run with its standard output on a
// pseudo-terminal (standard error goes there too).
std::string failure_line_on_terminal(std::optional<std::string> no_color, const char* term = "xterm") {
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    if (no_color) ::setenv("NO_COLOR", no_color->c_str(), 1); else ::unsetenv("NO_COLOR");
    ::setenv("TERM", term, 1);
    ::execl(binary_path().c_str(), "wendlebox", "--bogus", nullptr);
    _exit(127);
  }
  std::string out;
  char buffer[512];
  for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<std::size_t>(n));
  ::waitpid(pid, nullptr, 0);
  ::close(master);
  return out;
}

TEST(Color, WrapsTextOnlyForATerminalWithoutNoColor) {
  EXPECT_EQ(failure_line_on_terminal(std::nullopt),
            "\x1b[31mWendlebox: Unknown option: --bogus. Run wendlebox --help.\x1b[0m\r\n");
  EXPECT_EQ(failure_line_on_terminal(""), "Wendlebox: Unknown option: --bogus. Run wendlebox --help.\r\n");
  EXPECT_EQ(failure_line_on_terminal(std::nullopt, "dumb"), "Wendlebox: Unknown option: --bogus. Run wendlebox --help.\r\n");
  // Standard output redirected: no colour, also on standard error.
  TempDir home;
  CommandResult r = run_binary({.args = {"--bogus"}, .home = home.path});
  EXPECT_EQ(r.err, "Wendlebox: Unknown option: --bogus. Run wendlebox --help.\n");
}

}  // namespace wendlebox
