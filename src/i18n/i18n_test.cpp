#include "i18n/i18n.h"

#include <gtest/gtest.h>

#include <map>

#include "support/support.h"

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

TEST(Color, IsOffWhenStandardOutputIsNotATerminalOrNoColorIsSet) {
  // Under the test runner standard output is a pipe or file, never a terminal.
  EXPECT_EQ(color("31", "x"), "x");
}

TEST(Color, AnyNoColorValueTurnsItOffEvenOnATerminal) {
  // Through the real binary: NO_COLOR set to "" must suppress the escape on stderr.
  TempDir home;
  CommandResult r = run_binary({.args = {"--bogus"}, .home = home.path, .env = {{"NO_COLOR", ""}}});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
}
