// An edit (or a whole write) never overwrites what another program wrote
// between the action's read of the file and its write: the second writer
// stands in the seam between the two, so no timing decides the outcome.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "support/action_folder.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

struct SecondWriter {
  std::string name;
  std::function<void(const fs::path&)> write;
  std::string left;  // what the file holds afterwards: the second writer's
};

void PrintTo(const SecondWriter& c, std::ostream* os) { *os << c.name; }

// Each second writer is one a check could miss: in place, through a new
// file with the very same bytes (another file, though), and one that keeps
// size and time and changes only the bytes.
const SecondWriter kWriters[] = {
    {"in_place", [](const fs::path& p) { write_text(p, "x = 2;\ny = 9;\n"); }, "x = 2;\ny = 9;\n"},
    {"renamed_over_with_the_same_bytes",
     [](const fs::path& p) {
       write_text(p.string() + ".new", "x = 1;\ny = 1;\n");
       fs::rename(p.string() + ".new", p);
     },
     "x = 1;\ny = 1;\n"},
    {"same_size_and_time",
     [](const fs::path& p) {
       struct stat was;
       ASSERT_EQ(::stat(p.c_str(), &was), 0);
       FILE* f = std::fopen(p.c_str(), "r+");
       ASSERT_NE(f, nullptr);
       std::fputs("x = 7;", f);
       std::fclose(f);
       const struct timespec times[2] = {was.st_atim, was.st_mtim};
       ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
     },
     "x = 7;\ny = 1;\n"},
};

class WriteRace : public testing::TestWithParam<std::tuple<SecondWriter, std::string>>, protected ActionFolder {};

TEST_P(WriteRace, TheActionIsRefusedAndTheOtherWriteStays) {
  const SecondWriter& writer = std::get<0>(GetParam());
  const std::string& type = std::get<1>(GetParam());
  const fs::path file = dir.path / "conf.txt";
  write_text(file, "x = 1;\ny = 1;\n");
  Action action{.type = type, .path = "conf.txt"};
  if (type == "edit_file") action.edits = std::vector<Edit>{{"x = 1;", "x = 3;"}};
  else action.content = "x = 3;\ny = 1;\n";
  ExecutionContext context = execution_context();
  int writes = 0;
  context.between_read_and_write = [&] { writer.write(file), ++writes; };
  auto outcome = execute(action, context);
  ASSERT_FALSE(outcome);
  EXPECT_EQ(outcome.error().message, "the file changed while it was being edited; read it again");
  EXPECT_EQ(writes, 1);
  EXPECT_EQ(read_text(file), writer.left);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);  // no temporary left
}

INSTANTIATE_TEST_SUITE_P(Table, WriteRace,
                         testing::Combine(testing::ValuesIn(kWriters), testing::Values(std::string("edit_file"), std::string("write_file"))),
                         [](const auto& info) {
                           return std::get<0>(info.param).name + "_" + std::get<1>(info.param);
                         });

// With nobody else writing, the same seam sees the write go through.
TEST(WriteRaceAlone, WithoutASecondWriterTheEditIsWritten) {
  ActionFolder folder;
  write_text(folder.dir.path / "conf.txt", "x = 1;\n");
  ExecutionContext context = folder.execution_context();
  context.between_read_and_write = [] {};
  auto outcome = execute(Action{.type = "edit_file", .path = "conf.txt", .edits = std::vector<Edit>{{"1", "2"}}}, context);
  ASSERT_TRUE(outcome) << outcome.error();
  EXPECT_EQ(read_text(folder.dir.path / "conf.txt"), "x = 2;\n");
}

}  // namespace

}  // namespace wendlebox
