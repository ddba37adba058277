// /undo on real repositories: a prompt's actions run between the watch's
// two looks, as the executor runs them, and the user works beside them.
#include "git/undo.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include "process/process.h"
#include "git/undo_history.h"
#include "common/text.h"
#include "support/support.h"

namespace {

class Undo : public testing::Test {
 protected:
  void SetUp() override {
    use_own_git_config(env, home.path, "[init]\n\tdefaultBranch = main\n[user]\n\tname = Ada\n\temail = ada@example.org\n");
  }
  std::string git(const std::string& args) {
    auto ran = run_process(ProcessSpec{.argv = {"sh", "-c", "git " + args}, .cwd = work.path});
    return ran ? ran->output : "";
  }
  // A repository with `files` committed.
  void repository(const std::vector<std::pair<std::string, std::string>>& files) {
    git("init -q");
    for (const auto& [name, content] : files) write_text(work.path / name, content);
    git("add -A && git commit -qm base");
  }
  GitSession session() {
    auto prepared = prepare_git(work.path, printer);
    EXPECT_TRUE(prepared) << output.str();
    return prepared.value_or(GitSession{});
  }
  // A write as the executor makes it: a new file renamed over the old.
  void write_action(PromptWatch& watch, const std::string& name, const std::string& content) {
    const fs::path path = work.path / name;
    watch.before(path);
    fs::create_directories(path.parent_path());
    write_text(path.string() + ".new", content);
    fs::rename(path.string() + ".new", path);
    watch.after(path);
  }
  void command_action(PromptWatch& watch, const std::string& command) {
    watch.before(std::nullopt);
    EXPECT_TRUE(run_process(ProcessSpec{.argv = {"sh", "-c", command}, .cwd = work.path})) << command;
    watch.after(std::nullopt);
  }
  struct Prompted {
    PromptWatch watch;
    std::string commit;
  };
  // One prompt: its actions run watched, then it is committed.
  Prompted prompt(const GitSession& repo, const std::function<void(PromptWatch&)>& actions) {
    Prompted prompted{PromptWatch::start(repo, work.path, *kept), ""};
    actions(prompted.watch);
    prompted.watch.finish();
    auto made = commit_finished_task(repo, "the prompt", printer);
    EXPECT_TRUE(made) << output.str();
    prompted.commit = made.value_or("");
    return prompted;
  }
  std::vector<std::string> names(const std::vector<fs::path>& paths) {
    std::vector<std::string> relative;
    for (const fs::path& path : paths) relative.push_back(path.lexically_relative(work.path).string());
    return relative;
  }
  std::vector<std::string> names(const std::vector<std::pair<fs::path, std::string>>& lost) {
    std::vector<std::string> relative;
    for (const auto& [path, why] : lost) relative.push_back(path.lexically_relative(work.path).string());
    return relative;
  }

  TempDir home, work;
  ScopedEnv env;
  std::unique_ptr<KeptCopies> kept = std::make_unique<KeptCopies>();
  std::stringstream output;
  Printer printer{output, false, false};
};

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

}  // namespace

namespace {

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
