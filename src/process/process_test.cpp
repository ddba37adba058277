// Programs started from an argument vector: output captured and bounded,
// how they ended, and what a kept command leaves running ended with it.
#include <gtest/gtest.h>

#include <signal.h>

#include <string>

#include "process/keepers.h"
#include "process/process.h"
#include "support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

TEST(RunProcess, CapturesBoundedOutputAndHowItEnded) {
  auto ran = run_process(ProcessSpec{.argv = {"sh", "-c", "printf 1234567890; echo oops >&2; exit 3"},
                                     .environment = {{"UNUSED", "x"}},
                                     .capture_limit = 4});
  ASSERT_TRUE(ran) << ran.error();
  EXPECT_EQ(ran->output, "1234");
  EXPECT_EQ(ran->errors, "oops");
  EXPECT_EQ(ran->status.code, 3);

  auto killed = run_process(ProcessSpec{.argv = {"sh", "-c", "kill -TERM $$"}});
  ASSERT_TRUE(killed);
  EXPECT_EQ(killed->status.signal, SIGTERM);
  EXPECT_FALSE(run_process(ProcessSpec{.argv = {"no-such-program-anywhere"}}));
}

TEST(KeptCommand, WhatItLeavesRunningEndsWithEndKept) {
  TempDir dir;
  const fs::path pid_file = dir.path / "left";
  auto ran = run_process(ProcessSpec{.argv = {"sh", "-c", "setsid sleep 300 & echo $! > " + pid_file.string()},
                                     .keep_descendants = true});
  ASSERT_TRUE(ran) << ran.error();
  ASSERT_EQ(ran->keeper.size(), 1u);
  const pid_t left = pid_in_file(pid_file);
  EXPECT_FALSE(process_ended(left));
  EXPECT_EQ(ran->keeper.end(), 1u);
  EXPECT_TRUE(wait_until([&] { return process_ended(left); }));
}

// A keeper whose command left nothing is let go of once it has ended; what
// another still keeps ends when its holder goes.
TEST(Keepers, LetGoOfEndedKeepersAndEndTheRestWithTheHolder) {
  TempDir dir;
  const fs::path pid_file = dir.path / "left";
  auto finished = run_process(ProcessSpec{.argv = {"true"}, .keep_descendants = true});
  auto leaving = run_process(ProcessSpec{.argv = {"sh", "-c", "setsid sleep 300 & echo $! > " + pid_file.string()},
                                         .keep_descendants = true});
  ASSERT_TRUE(finished && leaving);
  const pid_t left = pid_in_file(pid_file);
  {
    Keepers keepers;
    keepers.take(std::move(finished->keeper));
    keepers.take(std::move(leaving->keeper));
    EXPECT_EQ(leaving->keeper.size(), 0u);
    EXPECT_TRUE(wait_until([&] {
      keepers.reap();
      return keepers.size() == 1;
    }));
    EXPECT_FALSE(process_ended(left));
  }
  EXPECT_TRUE(wait_until([&] { return process_ended(left); }));
}

}  // namespace

}  // namespace wendlebox
