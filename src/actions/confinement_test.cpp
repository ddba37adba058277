// What a hostile reply or a process racing the program can try against the
// file actions: links swapped mid-request, hard links to outside files,
// FIFOs, Git's own machinery, escape sequences, background jobs.
#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <thread>

#include "actions/executor.h"
#include "common/text.h"
#include "support/support.h"

namespace {

class Confinement : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(work / "inside");
    fs::create_directories(outside);
  }
  Result<Json> run(Action action) {
    ExecutionContext context{work, roots, true, force_yes, pending, nullptr, printer};
    return execute(action, context);
  }
  TempDir dir;
  fs::path work = dir.path / "w", outside = dir.path / "outside";
  std::vector<fs::path> roots{work};
  bool force_yes = false;
  std::vector<Attachment> pending;
  std::stringstream output;
  Printer printer{output, false, false};
};

TEST_F(Confinement, ALinkFlippedDuringWritesNeverCarriesOneOutside) {
  fs::create_directory_symlink(work / "inside", work / "flip");
  std::atomic<bool> done{false};
  std::thread flipper([&] {
    for (bool out = true; !done; out = !out) {
      const fs::path next = work / "flip.next";
      fs::create_directory_symlink(out ? outside : work / "inside", next);
      fs::rename(next, work / "flip");  // atomic: the link is always one or the other
    }
  });
  int written = 0;
  for (int i = 0; i < 3000; ++i)
    if (run({"write_file", "flip/f" + std::to_string(i % 50) + ".txt", "data"})) ++written;
  done = true;
  flipper.join();
  EXPECT_GT(written, 0);
  EXPECT_TRUE(fs::is_empty(outside));
}

TEST_F(Confinement, AWriteReplacesAHardLinkedFileAndLeavesItsTwinAlone) {
  write_text(outside / "twin", "secret\n");
  fs::create_hard_link(outside / "twin", work / "shared.txt");
  ::chmod((work / "shared.txt").c_str(), 0640);
  ASSERT_TRUE(run({"write_file", "shared.txt", "replaced\n"}));
  EXPECT_EQ(read_text(work / "shared.txt"), "replaced\n");
  EXPECT_EQ(read_text(outside / "twin"), "secret\n");
  EXPECT_EQ(fs::status(work / "shared.txt").permissions(), fs::perms(0640));  // the mode is kept
}

TEST_F(Confinement, FifosAreRefusedAtOnce) {
  ASSERT_EQ(::mkfifo((work / "pipe").c_str(), 0644), 0);
  const std::string refused = "Not a regular file (a FIFO, socket or device cannot be used)";
  for (const char* type : {"read_file", "write_file", "attach_image"}) {
    auto result = run({type, "pipe", std::string("x")});
    ASSERT_FALSE(result) << type;
    EXPECT_EQ(result.error(), refused) << type;
  }
}

TEST_F(Confinement, NothingInsideAGitOrWendleboxFolderCanBeWritten) {
  fs::create_directories(work / ".git");
  fs::create_directories(work / "vendor/lib/.git");
  for (const char* path : {".git/config", ".git/hooks/pre-commit", "vendor/lib/.git/config"}) {
    auto result = run({"write_file", path, "[core]\n\tfsmonitor = touch /tmp/owned\n"});
    ASSERT_FALSE(result) << path;
    EXPECT_EQ(result.error(), "Files inside a .git folder cannot be written");
  }
  EXPECT_FALSE(fs::exists(work / ".git/config"));
  for (const char* path : {".wendlebox/chats.json", ".wendlebox/chatlogs/x.jsonl"}) {
    auto result = run({"write_file", path, "[]"});
    ASSERT_FALSE(result) << path;
    EXPECT_EQ(result.error(), "Files inside a .wendlebox folder cannot be written");
  }
  EXPECT_FALSE(fs::exists(work / ".wendlebox/chats.json"));
  EXPECT_TRUE(run({"write_file", ".gitignore", "build/\n"}));  // a file beside the folder is fine
}

TEST_F(Confinement, ARunEndsWhenItsShellEndsThoughABackgroundJobHoldsItsOutput) {
  // Were the background job waited for, this test would hang until its time-out.
  auto result = run({"run", std::nullopt, std::nullopt, "sleep 600 & echo $! > job.pid; echo started"});
  ASSERT_TRUE(result) << result.error();
  EXPECT_EQ((*result)["stdout"], "started\n");
  ::kill(std::stoi(read_text(work / "job.pid")), SIGKILL);
}

TEST_F(Confinement, TheTerminalSeesControlCharactersAsEscapes) {
  ASSERT_TRUE(run({"run", std::nullopt, std::nullopt, "true\r\x1b[2Kls -la"}));
  EXPECT_NE(output.str().find("Run true\\r\\x1b[2Kls -la\n"), std::string::npos) << output.str();
  EXPECT_EQ(visible_text("tab\tline\nbell\x07 del\x7f c1\xc2\x9b ok é"),
            "tab\tline\nbell\\x07 del\\x7f c1\\x9b ok é");
  // Right-to-left override and zero-width space: text that reads otherwise than it runs.
  EXPECT_EQ(visible_text("rm \u202egnp.txt \u200bx"), "rm \\u202egnp.txt \\u200bx");
}

// Blank lines cannot push a command's start out of sight: the confirmation
// shows the whole command on one line, what runs is what the user saw.
TEST_F(Confinement, AConfirmedCommandIsShownWholeOnOneLine) {
  const std::string command = "touch PWNED #" + std::string(60, '\n') + "echo hello";
  ASSERT_TRUE(run({"run", std::nullopt, std::nullopt, command}));
  const std::string shown = output.str();
  const std::string line = shown.substr(0, shown.find('\n'));
  EXPECT_EQ(line, "Run touch PWNED #" + [] {
    std::string marks;
    for (int i = 0; i < 60; ++i) marks += "⏎";
    return marks;
  }() + "echo hello");
}

}  // namespace
