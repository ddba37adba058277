// /undo of what only the kept copies hold: files Git ignores or never
// sees, past the memory budget, damaged or too big to keep; and how far
// back the session's record of prompts reaches.
#include "undo/undo.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <tuple>

#include "common/text.h"
#include "undo/undo_fixture.h"
#include "undo/undo_history.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

// Past the memory budget (here a few bytes) the copies go to a private
// folder: a Git-ignored .env the prompt overwrote after it comes back byte
// for byte, and the folder, the user's alone, goes with the session.
TEST_F(Undo, PastTheMemoryBudgetAnIgnoredFileComesBackExactly) {
  TempDir temporary;
  env.set("TMPDIR", temporary.path.string());
  kept = std::make_unique<KeptCopies>(KeptLimits{.memory_file = 64, .memory_total = 16});
  const char raw[] = "KEY=mine\r\n\0\xff tail, past the budget\n";
  const std::string secret(raw, sizeof raw - 1);
  repository({{".gitignore", ".env\n"}, {"a.txt", "0123456789\n"}});
  write_text(work.path / ".env", secret);
  fs::permissions(work.path / ".env", fs::perms(0600));
  const GitSession repo = session();
  auto [watch, made] = prompt(repo, [&](PromptWatch& w) {
    write_action(w, "a.txt", "the prompt's\n");  // fills the budget
    write_action(w, ".env", "KEY=prompt\n");
  });
  ASSERT_TRUE(kept->folder());
  struct stat folder;
  ASSERT_EQ(::stat(kept->folder()->c_str(), &folder), 0);
  EXPECT_EQ(folder.st_mode & 07777, 0700u);
  EXPECT_EQ(folder.st_uid, ::getuid());
  EXPECT_EQ(kept->folder()->parent_path(), temporary.path);

  auto report = undo_prompt(repo, made, watch);
  ASSERT_TRUE(report) << report.error();
  EXPECT_TRUE(report->lost.empty()) << report->lost[0].second;
  EXPECT_EQ(read_text(work.path / ".env"), secret);
  EXPECT_EQ(fs::status(work.path / ".env").permissions(), fs::perms(0600));
  EXPECT_EQ(read_text(work.path / "a.txt"), "0123456789\n");
  kept.reset();
  EXPECT_TRUE(fs::is_empty(temporary.path));
}

// A file over the size kept in memory, and a file a command changed,
// come back as the very bytes they were, though the prompt planted
// attributes that would convert them on the way out of Git: in
// .gitattributes, and where no look at the folder sees them (Git's own
// folder, which a command can write).
TEST_F(Undo, PlantedAttributesDoNotChangeWhatComesBack) {
  std::string large;
  while (large.size() <= KeptLimits{}.memory_file) large += "a line of the large file\n";
  repository({{"large.txt", large}, {"notes.txt", "one\ntwo\n"}});
  const GitSession repo = session();
  auto [watch, made] = prompt(repo, [&](PromptWatch& w) {
    write_action(w, ".gitattributes", "* text eol=crlf\n");
    write_action(w, "large.txt", "replaced\n");
    command_action(w, "echo three >> notes.txt && echo '* text eol=crlf' > .git/info/attributes");
  });
  auto report = undo_prompt(repo, made, watch);
  ASSERT_TRUE(report) << report.error();
  EXPECT_TRUE(report->lost.empty()) << report->lost[0].second;
  EXPECT_TRUE(read_text(work.path / "large.txt") == large);
  EXPECT_EQ(read_text(work.path / "notes.txt"), "one\ntwo\n");
  EXPECT_FALSE(fs::exists(work.path / ".gitattributes"));
}

// A kept copy that no longer matches its hash is never written back: the
// file keeps what the prompt left, and /undo says why.
TEST_F(Undo, ADamagedCopyIsReportedAndNotWritten) {
  kept = std::make_unique<KeptCopies>(KeptLimits{.memory_file = 0, .memory_total = 0});
  repository({{".gitignore", "*.key\n"}});
  write_text(work.path / "site.key", "the user's key\n");
  const GitSession repo = session();
  auto [watch, made] = prompt(repo, [&](PromptWatch& w) { write_action(w, "site.key", "the prompt's\n"); });
  // Another program of the user's writes into the copy, through the
  // only way there is to it: the session's open file.
  bool damaged = false;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const fs::path target = fs::read_symlink(entry.path(), error);
    if (error || !target.string().starts_with(kept->folder()->string() + "/")) continue;
    FILE* pack = std::fopen(entry.path().c_str(), "r+");
    ASSERT_NE(pack, nullptr);
    std::fputs("THE", pack);
    std::fclose(pack);
    damaged = true;
  }
  ASSERT_TRUE(damaged);
  auto report = undo_prompt(repo, made, watch);
  ASSERT_TRUE(report) << report.error();
  ASSERT_EQ(names(report->lost), (std::vector<std::string>{"site.key"}));
  EXPECT_EQ(report->lost[0].second,
            "its kept copy is damaged (it no longer matches what was kept), so it was not written back");
  EXPECT_EQ(read_text(work.path / "site.key"), "the prompt's\n");
  for (const auto& entry : fs::directory_iterator(work.path))
    EXPECT_FALSE(entry.path().string().ends_with(".tmp")) << entry.path();  // the new file did not stay
}

// A reply that names a huge sparse file does not get the disk filled with
// its copy: the copy is refused before a byte is read, and /undo says why.
TEST_F(Undo, AFileTooBigForTheDiskIsNotCopiedAndSaysWhy) {
  TempDir temporary;
  env.set("TMPDIR", temporary.path.string());
  repository({{".gitignore", "*.img\n"}});
  write_text(work.path / "disk.img", "");
  ASSERT_EQ(::truncate((work.path / "disk.img").c_str(), off_t{1} << 42), 0);
  const GitSession repo = session();
  auto [watch, made] = prompt(repo, [&](PromptWatch& w) { write_action(w, "disk.img", "small\n"); });
  auto report = undo_prompt(repo, made, watch);
  ASSERT_TRUE(report) << report.error();
  ASSERT_EQ(names(report->lost), (std::vector<std::string>{"disk.img"}));
  EXPECT_EQ(report->lost[0].second, "its content could not be kept: there was not room enough on " +
                                        temporary.path.string() + " to keep a copy of it");
  EXPECT_EQ(read_text(work.path / "disk.img"), "small\n");
}

// The records of earlier prompts are bounded: past the number of prompts
// or the paths they changed, the oldest go first, never the newest.
TEST_F(Undo, TheOldestPromptsGoPastTheLimits) {
  const GitSession repo = session();
  UndoHistory history(UndoLimits{.prompts = 2, .touched = 4});
  int made = 0;
  // Each step: the paths the new prompt changes, then how many prompts stay
  // and how many went.
  const std::tuple<int, std::size_t, std::size_t> steps[] = {{1, 1, 0}, {1, 2, 0}, {1, 2, 1}, {3, 2, 2}, {9, 1, 4}};
  for (const auto& [files, kept_prompts, let_go] : steps) {
    auto [watch, commit] = prompt(repo, [&](PromptWatch& w) {
      for (int i = 0; i < files; ++i) write_action(w, "f" + std::to_string(++made), "x\n");
    });
    history.add({.commit = commit, .prompt = "p", .watch = std::move(watch)});
    EXPECT_EQ(history.size(), kept_prompts) << made;
    EXPECT_EQ(history.let_go(), let_go) << made;
    EXPECT_EQ(history.newest().commit, commit);
  }
}

// A repository whose .git everyone may enter: the look at the folder when
// a prompt starts puts no blob of a file only its owner may read there, and
// /undo still brings that file back, byte for byte and as private.
TEST_F(Undo, APrivateUntrackedFileStaysOutOfGitAndStillComesBack) {
  if (!can_play_other_users()) GTEST_SKIP() << "needs root to act as a second user";
  fs::permissions(work.path, fs::perms(0755));
  repository({{"readme.txt", "hello\n"}});
  write_text(work.path / ".env", "TOKEN=secret\n");
  fs::permissions(work.path / ".env", fs::perms(0600));
  const std::string blob(trim(git("hash-object .env")));
  const GitSession repo = session();
  auto [watch, made] = prompt(repo, [&](PromptWatch& w) { command_action(w, "echo TOKEN=changed > .env"); });
  EXPECT_EQ(git("cat-file -e " + blob + " && echo exposed"), "") << "the private file's blob is in .git/objects";
  EXPECT_EQ(as_other_user([&] { return ::access((work.path / ".git/objects").c_str(), R_OK | X_OK) == 0 ? 0 : 1; }), 0)
      << ".git is not open to others after all";

  auto report = undo_prompt(repo, made, watch);
  ASSERT_TRUE(report) << report.error();
  EXPECT_TRUE(report->lost.empty()) << names(report->lost)[0];
  EXPECT_EQ(read_text(work.path / ".env"), "TOKEN=secret\n");
  EXPECT_EQ(fs::status(work.path / ".env").permissions(), fs::perms(0600));
}

}  // namespace

}  // namespace wendlebox
