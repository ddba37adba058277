// /undo on real repositories: a prompt's actions run between the watch's
// two looks, as the executor runs them, and the user works beside them.
#include "undo/undo.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/text.h"
#include "undo/undo_fixture.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

// The user's own edits, staged and not, and a file Git does not know go
// into the prompt's commit; /undo takes the prompt's file away and leaves
// theirs pending, as it was.
TEST_F(Undo, TheUsersPendingWorkStaysAndIsPendingAgain) {
  repository({{"tracked.txt", "v1\n"}});
  const std::string base = git("rev-parse HEAD");
  write_text(work.path / "tracked.txt", "v2, mine\n");
  write_text(work.path / "notes.txt", "mine\n");
  write_text(work.path / "staged.txt", "staged\n");
  git("add staged.txt");
  const GitSession repo = session();
  auto [watch, made] = prompt(repo, [&](PromptWatch& w) {
    write_action(w, "new.txt", "the prompt's\n");
  });
  EXPECT_EQ(git("show --name-only --format= HEAD"), "new.txt\nnotes.txt\nstaged.txt\ntracked.txt\n");

  auto report = undo_prompt(repo, made, watch);
  ASSERT_TRUE(report) << report.error();
  EXPECT_TRUE(report->left.empty());
  EXPECT_TRUE(report->lost.empty());
  EXPECT_FALSE(fs::exists(work.path / "new.txt"));
  EXPECT_EQ(read_text(work.path / "tracked.txt"), "v2, mine\n");
  EXPECT_EQ(read_text(work.path / "notes.txt"), "mine\n");
  EXPECT_EQ(git("rev-parse HEAD"), base);
  EXPECT_EQ(git("status --porcelain"), "A  staged.txt\n M tracked.txt\n?? notes.txt\n");
}

// Ignored files are in no commit: only what the prompt made beside them goes.
TEST_F(Undo, IgnoredFilesBesideWhatThePromptMadeStay) {
  repository({{".gitignore", "out/\n"}, {"readme.txt", "hello\n"}});
  write_text(work.path / "out/results.csv", "1,2\n");
  const GitSession repo = session();
  auto [watch, made] = prompt(repo, [&](PromptWatch& w) {
    write_action(w, "out/new.csv", "3,4\n");
    command_action(w, "echo built > out/log.txt && mkdir -p deep/er && echo x > deep/er/file.txt");
  });

  auto report = undo_prompt(repo, made, watch);
  ASSERT_TRUE(report) << report.error();
  EXPECT_TRUE(report->left.empty());
  EXPECT_TRUE(report->lost.empty());
  EXPECT_EQ(read_text(work.path / "out/results.csv"), "1,2\n");
  EXPECT_FALSE(fs::exists(work.path / "out/new.csv"));
  EXPECT_FALSE(fs::exists(work.path / "out/log.txt"));
  EXPECT_FALSE(fs::exists(work.path / "deep"));
  EXPECT_EQ(git("status --porcelain --ignored"), "!! out/\n");
}

// A command that removed a tracked file: the file comes back, and the
// ignored file beside it (which no commit holds) is never touched.
TEST_F(Undo, ARemovedTrackedFileComesBackAndItsIgnoredNeighbourStays) {
  repository({{".gitignore", "*.secret\n"}, {"config/settings.yaml", "port: 80\n"}});
  write_text(work.path / "config/local.secret", "hunter2\n");
  fs::permissions(work.path / "config/settings.yaml", fs::perms::owner_read | fs::perms::owner_write);
  const GitSession repo = session();
  auto [watch, made] = prompt(repo, [&](PromptWatch& w) {
    command_action(w, "rm config/settings.yaml");
  });

  auto report = undo_prompt(repo, made, watch);
  ASSERT_TRUE(report) << report.error();
  EXPECT_EQ(read_text(work.path / "config/settings.yaml"), "port: 80\n");
  EXPECT_EQ(fs::status(work.path / "config/settings.yaml").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(read_text(work.path / "config/local.secret"), "hunter2\n");
  EXPECT_EQ(git("status --porcelain"), "");
}

// What the user changes while ChatGPT answers is theirs; a file both
// changed is left and named; an ignored file a command changed cannot be
// put back (its content was never kept) and is named.
TEST_F(Undo, WhatTheUserChangedIsLeftAndWhatCannotComeBackIsNamed) {
  repository({{".gitignore", "*.log\n"}, {"shared.txt", "base\n"}});
  write_text(work.path / "notes.log", "user's notes\n");
  write_text(work.path / "cache.log", "cache\n");
  const GitSession repo = session();
  auto [watch, made] = prompt(repo, [&](PromptWatch& w) {
    write_action(w, "a.txt", "a\n");
    write_action(w, "shared.txt", "prompt's\n");
    // Between two replies, in another editor.
    w.look_afresh();
    write_text(work.path / "notes.log", "user's notes, saved again\n");
    write_text(work.path / "draft.log", "a new draft\n");
    command_action(w, "echo b > b.txt && echo more >> cache.log");
  });
  write_text(work.path / "shared.txt", "prompt's, then the user's\n");

  auto report = undo_prompt(repo, made, watch);
  ASSERT_TRUE(report) << report.error();
  EXPECT_EQ(names(report->left), (std::vector<std::string>{"shared.txt"}));
  EXPECT_EQ(names(report->lost), (std::vector<std::string>{"cache.log"}));
  EXPECT_FALSE(fs::exists(work.path / "a.txt"));
  EXPECT_FALSE(fs::exists(work.path / "b.txt"));
  EXPECT_EQ(read_text(work.path / "shared.txt"), "prompt's, then the user's\n");
  EXPECT_EQ(read_text(work.path / "notes.log"), "user's notes, saved again\n");
  EXPECT_EQ(read_text(work.path / "draft.log"), "a new draft\n");
  EXPECT_EQ(read_text(work.path / "cache.log"), "cache\nmore\n");
}

// The content of a file Git ignores that an action wrote was read before
// the write, so it comes back too.
TEST_F(Undo, AnIgnoredFileAnActionRewroteComesBack) {
  repository({{".gitignore", ".env\n"}});
  write_text(work.path / ".env", "KEY=mine\n");
  const GitSession repo = session();
  auto [watch, made] = prompt(repo, [&](PromptWatch& w) { write_action(w, ".env", "KEY=prompt\n"); });
  auto report = undo_prompt(repo, made, watch);
  ASSERT_TRUE(report) << report.error();
  EXPECT_TRUE(report->lost.empty());
  EXPECT_EQ(read_text(work.path / ".env"), "KEY=mine\n");
}

// A command that renamed files Git ignores (a folder of them too): their
// content was never kept, so they go back by name; deleting the new names
// would lose them for good.
TEST_F(Undo, IgnoredFilesACommandRenamedGoBackByName) {
  repository({{".gitignore", "*.secret\ndata/\ndata2/\n"}, {"readme.txt", "hello\n"}});
  write_text(work.path / "a.secret", "hunter2\n");
  write_text(work.path / "data/set/big.csv", "1,2,3\n");
  write_text(work.path / "keep/k.secret", "kept\n");
  const GitSession repo = session();
  auto [watch, made] = prompt(repo, [&](PromptWatch& w) {
    command_action(w, "mv a.secret b.secret && mv data data2 && echo new > c.secret");
    // A folder moved aside and a link left in its place.
    command_action(w, "mv keep keep.bak && ln -s keep.bak keep");
  });

  auto report = undo_prompt(repo, made, watch);
  ASSERT_TRUE(report) << report.error();
  EXPECT_TRUE(report->lost.empty()) << testing::PrintToString(names(report->lost));
  EXPECT_EQ(read_text(work.path / "a.secret"), "hunter2\n");
  EXPECT_EQ(read_text(work.path / "data/set/big.csv"), "1,2,3\n");
  EXPECT_FALSE(fs::exists(work.path / "b.secret"));
  EXPECT_FALSE(fs::exists(work.path / "data2"));
  EXPECT_FALSE(fs::exists(work.path / "c.secret"));
  EXPECT_EQ(read_text(work.path / "keep/k.secret"), "kept\n");
  EXPECT_FALSE(fs::exists(work.path / "keep.bak"));
  EXPECT_TRUE(report->left.empty()) << testing::PrintToString(names(report->left));
}

// Two prompts that changed one file: each /undo goes one prompt back, and
// the first undo's own write does not count as someone else's change.
TEST_F(Undo, TwoPromptsOfOneFileGoBackOneAtATime) {
  repository({{"a.txt", "old\n"}});
  const GitSession repo = session();
  auto [first, first_commit] = prompt(repo, [&](PromptWatch& w) {
    write_action(w, "a.txt", "one\n");
  });
  auto [second, second_commit] = prompt(repo, [&](PromptWatch& w) {
    write_action(w, "a.txt", "two\n");
  });

  auto undone = undo_prompt(repo, second_commit, second);
  ASSERT_TRUE(undone) << undone.error();
  EXPECT_EQ(read_text(work.path / "a.txt"), "one\n");
  for (const auto& [path, now] : undone->restored) first.carry_restored(path, second.touched().at(path).before, now);
  undone = undo_prompt(repo, first_commit, first);
  ASSERT_TRUE(undone) << undone.error();
  EXPECT_TRUE(undone->left.empty());
  EXPECT_EQ(read_text(work.path / "a.txt"), "old\n");
  EXPECT_EQ(git("rev-list --count HEAD"), "1\n");
}

// A new repository: its first commit is the prompt's, and undoing it
// leaves the repository without commits, as it was, with no Git error.
TEST_F(Undo, TheFirstPromptOfANewRepositoryCanBeUndone) {
  const GitSession repo = session();
  auto [watch, made] = prompt(repo, [&](PromptWatch& w) {
    write_action(w, "game.py", "print('snake')\n");
  });
  ASSERT_EQ(git("rev-list --count HEAD"), "1\n");
  auto report = undo_prompt(repo, made, watch);
  ASSERT_TRUE(report) << report.error();
  EXPECT_FALSE(fs::exists(work.path / "game.py"));
  EXPECT_EQ(git("rev-list --all --count"), "0\n");
  EXPECT_EQ(git("status --porcelain"), "");
  // The next prompt commits from nothing again.
  EXPECT_FALSE(prompt(repo, [&](PromptWatch& w) { write_action(w, "game.py", "print('snake 2')\n"); }).commit.empty());
}

// A command that swaps a folder for a link to somewhere else: the folder
// and its file come back, and nothing is written or removed where the
// link led.
TEST_F(Undo, AFolderSwappedForALinkComesBackWithoutTouchingWhereTheLinkLed) {
  repository({{"docs/guide.md", "# Guide\n"}});
  write_text(home.path / "outside/guide.md", "not the project's\n");
  const GitSession repo = session();
  auto [watch, made] = prompt(repo, [&](PromptWatch& w) {
    command_action(w, "rm -rf docs && ln -s " + (home.path / "outside").string() + " docs && echo x > docs/new.md");
  });
  auto report = undo_prompt(repo, made, watch);
  ASSERT_TRUE(report) << report.error();
  EXPECT_TRUE(report->lost.empty()) << names(report->lost)[0];
  EXPECT_FALSE(fs::is_symlink(work.path / "docs"));
  EXPECT_EQ(read_text(work.path / "docs/guide.md"), "# Guide\n");
  EXPECT_EQ(read_text(home.path / "outside/guide.md"), "not the project's\n");
  EXPECT_EQ(read_text(home.path / "outside/new.md"), "x\n");  // made through the link, outside the folder watched
  EXPECT_EQ(git("status --porcelain"), "");
}

// What the user committed after the prompt is theirs: nothing is undone.
TEST_F(Undo, ANewCommitSinceThePromptStopsTheUndo) {
  repository({{"a.txt", "old\n"}});
  const GitSession repo = session();
  auto [watch, made] = prompt(repo, [&](PromptWatch& w) {
    write_action(w, "a.txt", "new\n");
  });
  write_text(work.path / "b.txt", "b\n");
  git("add b.txt && git commit -qm mine");
  auto report = undo_prompt(repo, made, watch);
  ASSERT_FALSE(report);
  EXPECT_EQ(report.error().message, "the repository has new commits since the last prompt");
  EXPECT_EQ(read_text(work.path / "a.txt"), "new\n");
}

// A prompt of any size is committed whole (the message does not go on
// the command line, whose size is limited).
TEST_F(Undo, A200KilobytePromptIsCommitted) {
  repository({{"a.txt", "a\n"}});
  const GitSession repo = session();
  std::string prompt;
  while (prompt.size() < 200 * 1024) prompt += "Make the snake faster and the apples red. ";
  write_text(work.path / "a.txt", "b\n");
  ASSERT_TRUE(commit_finished_task(repo, prompt, printer)) << output.str();
  std::string body = git("log -1 --format=%b");
  EXPECT_EQ(body, std::string(trim(prompt)) + "\n\n");
}

// /diff hands git's own output to the terminal (pager and colours as the
// user set them), so it is read here from the file standing in for it.
// The user's own pending edit, which the commit holds too, is not shown as
// the prompt's: the watch's tree of the folder before the prompt is what
// the changes are shown since.
TEST_F(Undo, ShowingTheLastPromptGivesItsMessageAndPatch) {
  write_text(work.path / "a.txt", "old\n");
  write_text(work.path / "b.txt", "b\n");
  const GitSession repo = session();
  write_text(work.path / "b.txt", "b, the user's\n");
  PromptWatch watch = PromptWatch::start(repo, work.path, *kept);
  write_text(work.path / "a.txt", "new\n");
  const std::optional<std::string> commit = commit_finished_task(repo, "change a", printer);
  ASSERT_TRUE(commit);
  const fs::path shown = home.path / "shown";
  const int terminal = ::dup(STDOUT_FILENO);
  const int file = ::open(shown.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ::dup2(file, STDOUT_FILENO);
  const Status status = show_commit(repo, *commit, watch.tree_before());
  ::dup2(terminal, STDOUT_FILENO);
  ::close(file);
  ::close(terminal);
  ASSERT_TRUE(status) << status.error();
  const std::string text = read_text(shown);
  EXPECT_NE(text.find("change a"), std::string::npos) << text;
  EXPECT_NE(text.find("-old\n+new\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("b.txt"), std::string::npos) << text;
}

}  // namespace

}  // namespace wendlebox
