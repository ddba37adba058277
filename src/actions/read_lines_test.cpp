#include "actions/read_lines.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/action_folder.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

class ReadLines : public testing::Test, protected ActionFolder {
 protected:
  Result<Json> read(std::optional<std::uint64_t> start, std::optional<std::uint64_t> end,
                    const std::string& path = "three.txt") {
    return run(Action{.type = "read_file", .path = path, .start_line = start, .end_line = end});
  }
};

struct RangeCase {
  std::optional<std::uint64_t> start, end;
  std::string content;  // or the error
  std::uint64_t first = 0, last = 0;
};

TEST_F(ReadLines, RangesAreOneBasedInclusiveAndSayWhatWasRead) {
  write_text(dir.path / "three.txt", "l1\nl2\r\nl3\n");
  write_text(dir.path / "open.txt", "a\nb");
  const std::vector<RangeCase> cases{
      {2, 3, "l2\r\nl3\n", 2, 3},
      {2, std::nullopt, "l2\r\nl3\n", 2, 3},
      {std::nullopt, 1, "l1\n", 1, 1},
      {3, 10, "l3\n", 3, 3},
      {4, std::nullopt, "start_line 4 is past the end of the file, which has 3 lines"},
      {3, 2, "end_line 2 is before start_line 3; the file has 3 lines"},
      {0, 2, "start_line must be 1 or more (lines are numbered from 1)"},
  };
  for (const RangeCase& c : cases) {
    auto result = read(c.start, c.end);
    if (c.first == 0) {
      ASSERT_FALSE(result) << c.content;
      EXPECT_EQ(result.error().message, c.content);
      continue;
    }
    ASSERT_TRUE(result) << result.error();
    EXPECT_EQ(*result, (Json{{"content", c.content}, {"end_line", c.last}, {"path", "three.txt"},
                             {"start_line", c.first}, {"total_lines", 3}}));
  }
  auto last = read(2, std::nullopt, "open.txt");
  ASSERT_TRUE(last);
  EXPECT_EQ((*last)["content"], "b");
  EXPECT_EQ((*last)["total_lines"], 2);
  EXPECT_EQ(output.str().substr(0, output.str().find('\n')), "Read three.txt lines 2–3 of 3");
}

// A 64 MB log cannot be read whole, but any part of it can; a part larger
// than what may be returned stops at the last whole line that fits.
TEST_F(ReadLines, ALargeFileIsReadInParts) {
  {
    std::ofstream log(dir.path / "big.log");
    for (int i = 1; i <= 1'050'000; ++i) log << "line " << i << std::string(58 - std::to_string(i).size(), '.') << '\n';
  }
  ASSERT_GT(fs::file_size(dir.path / "big.log"), 64'000'000u);
  auto middle = read(500'000, 500'001, "big.log");
  ASSERT_TRUE(middle) << middle.error();
  EXPECT_TRUE((*middle)["content"].get<std::string>().starts_with("line 500000."));
  EXPECT_EQ((*middle)["total_lines"], 1'050'000);
  auto many = read(1, std::nullopt, "big.log");
  ASSERT_TRUE(many) << many.error();
  EXPECT_EQ((*many)["end_line"], 250'000 / 64);
  EXPECT_EQ((*many)["content"].get<std::string>().size(), 250'000 / 64 * 64);
  auto whole = run(Action{.type = "read_file", .path = "big.log"});
  ASSERT_FALSE(whole);
  EXPECT_EQ(whole.error().message,
            "File exceeds 250 KB. Read a smaller file, or read this one in parts with start_line and end_line.");
  write_text(dir.path / "one_long_line.txt", std::string(300'000, 'x'));
  auto long_line = read(1, 1, "one_long_line.txt");
  ASSERT_FALSE(long_line);
  EXPECT_EQ(long_line.error().message, "Line 1 alone exceeds 250 KB; the file has 1 lines");
}

}  // namespace

}  // namespace wendlebox
