// The rules every stored record and every message from the page is read
// by, on hostile input: a key twice, text after the value, broken UTF-8,
// controls that would make a line read otherwise than it runs.
#include <gtest/gtest.h>

#include <string>

#include "common/json.h"
#include "common/text.h"

namespace wendlebox {

namespace {

TEST(JsonReader, RefusesWhatCouldBeReadTwoWays) {
  const std::pair<std::string, bool> cases[] = {
      {R"({"a": 1, "b": [true, null]})", true},
      {R"({"a": 1, "a": 2})", false},  // which one would count?
      {R"({"a": 1} {"a": 2})", false},
      {R"({"a": "x")", false},
      {"", false},
      {"{\"a\": \"\xff\"}", false},
  };
  for (const auto& [text, readable] : cases) EXPECT_EQ(parse_json(text).has_value(), readable) << text;
}

TEST(VisibleText, ShowsWhatATerminalWouldHide) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain\ttext\n", "plain\ttext\n"},
      {"a\xff" "b", "a\uFFFD" "b"},
      {"\x1b[2Jgone", "\\x1b[2Jgone"},
      {"evil\u202Etxt.exe", "evil\\u202etxt.exe"},
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(visible_text(text), shown) << text;
}

}  // namespace

}  // namespace wendlebox
