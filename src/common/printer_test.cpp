#include "common/printer.h"

#include <gtest/gtest.h>

#include <sstream>
#include <utility>

namespace wendlebox {

// Each meaning keeps the terminal code its messages have always had, so
// naming the colours changed no byte of what a terminal shows.
TEST(Printer, EachColourKeepsItsTerminalCode) {
  const std::pair<Colour, const char*> cases[] = {
      {Colour::warning, "33"}, {Colour::question, "33"}, {Colour::action, "33"},  {Colour::error, "31"},
      {Colour::removed, "31"}, {Colour::success, "32"},  {Colour::added, "32"},   {Colour::reply, "32"},
      {Colour::dim, "90"},     {Colour::heading, "36"},  {Colour::prompt, "36"},  {Colour::command, "35"},
      {Colour::banner, "1;35"}};
  std::ostringstream stream;
  const Printer colours(stream, false, true), plain(stream, false, false);
  for (const auto& [colour, code] : cases) {
    EXPECT_EQ(colours.paint(colour, "x"), std::string("\x1b[") + code + "mx\x1b[0m") << code;
    EXPECT_EQ(plain.paint(colour, "x"), "x") << code;
  }
}

}  // namespace wendlebox
