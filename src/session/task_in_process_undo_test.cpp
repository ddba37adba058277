// task() in-process: /undo takes back what a prompt changed, and the copies
// kept for it go with the session.
#include <gtest/gtest.h>

#include "process/process.h"
#include "session/task_in_process_fixture.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

using namespace task_in_process;

// /undo takes back what the prompt changed (edited or written) and nothing
// else: a file the user made since stays, and a file both changed is left
// and named.
TEST_F(Session, UndoTakesBackOnlyWhatThePromptChanged) {
  write_text(work.path / "a.txt", "old\n");
  auto wendlebox = start(BinaryRun{.args = {"change a"}, .cwd = work.path, .home = home.path,
                                   .env = {{"GIT_CONFIG_GLOBAL", "/dev/null"}}, .keep_stdin_open = true});
  FakeExtension tab = extension();
  tab.answer(block(R"({"status":"continue","actions":[{"type":"edit_file","path":"a.txt","edits":[{"old":"old","new":"new"}]},)"
                       R"({"type":"write_file","path":"c.txt","content":"c\n"}]})"));
  tab.answer(kDone, kChatUrl);
  const auto printed = [&](const std::string& text) {
    return wait_until([&] { return wendlebox->output_so_far().find(text) != std::string::npos; });
  };
  ASSERT_TRUE(printed("You > "));
  EXPECT_EQ(read_text(work.path / "a.txt"), "new\n");
  write_text(work.path / "b.txt", "someone else's\n");
  write_text(work.path / "c.txt", "c, then the user's\n");
  wendlebox->send_input("/undo\n");
  ASSERT_TRUE(printed("No earlier prompt of this session is left to undo.")) << wendlebox->output_so_far();
  EXPECT_NE(wendlebox->output_so_far().find("The last prompt's changes were undone.\nUndone prompt: change a\n"
                                             "Left as they are, as they were changed by someone else too: c.txt\n"),
            std::string::npos) << wendlebox->output_so_far();
  EXPECT_EQ(read_text(work.path / "a.txt"), "old\n");
  EXPECT_EQ(read_text(work.path / "b.txt"), "someone else's\n");
  EXPECT_EQ(read_text(work.path / "c.txt"), "c, then the user's\n");
  wendlebox->send_input("go on\n");
  auto next = tab.answer(kDone, kChatUrl);
  EXPECT_TRUE(next["prompt"].get<std::string>().starts_with("Note: the user undid your last change;")) << next["prompt"];
  wendlebox->send_input("/exit\n");
  EXPECT_EQ(wendlebox->finish().exit_code, 0);
}

// A file the user makes while ChatGPT answers is theirs, though the
// prompt's writes come right before and after it: /undo leaves it.
TEST_F(Session, WhatTheUserMadeBetweenTwoRepliesOutlivesTheUndo) {
  write_text(work.path / "readme.txt", "hello\n");
  auto wendlebox = start(BinaryRun{.args = {"two files"}, .cwd = work.path, .home = home.path,
                                   .env = {{"GIT_CONFIG_GLOBAL", "/dev/null"}}, .keep_stdin_open = true});
  FakeExtension tab = extension();
  tab.answer(block(R"({"status":"continue","actions":[{"type":"write_file","path":"a.txt","content":"a\n"}]})"));
  auto second = tab.next_job();  // the first reply's actions have run
  ASSERT_TRUE(second);
  write_text(work.path / "mine.txt", "the user's\n");
  tab.post_result({{"id", (*second)["id"]},
                       {"text", block(R"({"status":"continue","actions":[{"type":"write_file","path":"b.txt","content":"b\n"}]})")}});
  tab.answer(kDone, kChatUrl);
  EXPECT_EQ(undo_and_exit(*wendlebox).exit_code, 0);
  EXPECT_FALSE(fs::exists(work.path / "a.txt"));
  EXPECT_FALSE(fs::exists(work.path / "b.txt"));
  EXPECT_EQ(read_text(work.path / "mine.txt"), "the user's\n");
}

// A file over the size kept in memory, Git-ignored, that a write replaced:
// its copy lies in a private folder while the session runs, /undo puts it
// back byte for byte, and nothing of the copies stays once the session ends.
TEST_F(Session, ALargeIgnoredFileComesBackAndItsCopyGoesWithTheSession) {
  TempDir temporary;
  std::string large(5'000'000, 'x');
  large += "\r\nend";
  write_text(work.path / ".gitignore", "*.bin\n");
  write_text(work.path / "data.bin", large);
  auto wendlebox = start(BinaryRun{.args = {"shrink the data"}, .cwd = work.path, .home = home.path,
                                   .env = {{"GIT_CONFIG_GLOBAL", "/dev/null"}, {"TMPDIR", temporary.path.string()}},
                                   .keep_stdin_open = true});
  FakeExtension tab = extension();
  tab.answer(block(R"({"status":"continue","actions":[{"type":"write_file","path":"data.bin","content":"small\n"}]})"));
  tab.answer(kDone, kChatUrl);
  const auto printed = [&](const std::string& text) {
    return wait_until([&] { return wendlebox->output_so_far().find(text) != std::string::npos; });
  };
  ASSERT_TRUE(printed("You > "));
  std::vector<fs::path> kept(fs::directory_iterator(temporary.path), fs::directory_iterator());
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_TRUE(kept[0].filename().string().starts_with("wendlebox-undo-"));
  EXPECT_EQ(fs::status(kept[0]).permissions(), fs::perms::owner_all);
  wendlebox->send_input("/undo\n");
  ASSERT_TRUE(printed("No earlier prompt of this session is left to undo.")) << wendlebox->output_so_far();
  EXPECT_TRUE(read_text(work.path / "data.bin") == large);
  wendlebox->send_input("/exit\n");
  EXPECT_EQ(wendlebox->finish().exit_code, 0);
  EXPECT_TRUE(fs::is_empty(temporary.path));
}

// A session that fails mid-prompt takes the copies with it too.
TEST_F(Session, TheCopiesGoWhenTheSessionFails) {
  TempDir temporary;
  write_text(work.path / "data.bin", std::string(5'000'000, 'x'));
  auto wendlebox = start(BinaryRun{.args = {"go"}, .cwd = work.path, .home = home.path,
                                   .env = {{"GIT_CONFIG_GLOBAL", "/dev/null"}, {"TMPDIR", temporary.path.string()}}});
  FakeExtension tab = extension();
  tab.answer(block(R"({"status":"continue","actions":[{"type":"write_file","path":"data.bin","content":"small\n"}]})"));
  auto job = tab.next_job();
  ASSERT_TRUE(job);
  EXPECT_FALSE(fs::is_empty(temporary.path));
  tab.post_result({{"id", (*job)["id"]}, {"error", "Composer not found"}});
  EXPECT_EQ(wendlebox->finish().exit_code, 1);
  EXPECT_TRUE(fs::is_empty(temporary.path));
}

// In a folder that had no repository and no file, the prompt's commit is
// the repository's first: /undo takes it back and counts no prompt left.
TEST_F(Session, TheFirstPromptOfANewRepositoryIsUndoneWithoutAGitError) {
  auto wendlebox = start(BinaryRun{.args = {"make a game"}, .cwd = work.path, .home = home.path,
                                   .env = {{"GIT_CONFIG_GLOBAL", "/dev/null"}}, .keep_stdin_open = true});
  FakeExtension tab = extension();
  tab.answer(block(R"({"status":"continue","actions":[{"type":"write_file","path":"game.py","content":"x\n"}]})"));
  tab.answer(kDone, kChatUrl);
  const auto printed = [&](const std::string& text) {
    return wait_until([&] { return wendlebox->output_so_far().find(text) != std::string::npos; });
  };
  ASSERT_TRUE(printed("You > "));
  wendlebox->send_input("/undo\n");
  ASSERT_TRUE(printed("No earlier prompt of this session is left to undo.")) << wendlebox->output_so_far();
  wendlebox->send_input("/undo\n");
  ASSERT_TRUE(printed("Nothing to undo: every prompt this session committed has been undone."));
  wendlebox->send_input("/exit\n");
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out.find("Cannot undo"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(work.path / "game.py"));
  auto commits = run_process(ProcessSpec{.argv = {"git", "rev-list", "--all", "--count"}, .cwd = work.path});
  ASSERT_TRUE(commits);
  EXPECT_EQ(commits->output, "0\n");
}


// /undo leaves nothing the prompt created, even what Git ignores (and a
// .gitignore that hides every file from later snapshots).
TEST_F(Session, UndoRemovesWhatThePromptCreatedThatGitIgnores) {
  write_text(work.path / "readme.txt", "hello\n");
  write_text(work.path / "out/build.log", "kept\n");
  write_text(work.path / ".git/info/exclude", "out/\n");
  auto wendlebox = start(BinaryRun{.args = {"hide"}, .cwd = work.path, .home = home.path,
                                   .env = {{"GIT_CONFIG_GLOBAL", "/dev/null"}}, .keep_stdin_open = true});
  FakeExtension tab = extension();
  tab.answer(block(R"({"status":"continue","actions":[{"type":"write_file","path":".gitignore","content":"*\n"},)"
                       R"({"type":"write_file","path":".envrc","content":"x\n"}]})"));
  tab.answer(kDone, kChatUrl);
  CommandResult r = undo_and_exit(*wendlebox);
  EXPECT_EQ(r.out.find("Left as they are"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(work.path / ".gitignore"));
  EXPECT_FALSE(fs::exists(work.path / ".envrc"));
  EXPECT_EQ(read_text(work.path / "out/build.log"), "kept\n");  // there before the prompt: kept
}

}  // namespace

}  // namespace wendlebox
