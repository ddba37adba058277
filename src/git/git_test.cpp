#include "git/git.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

class Git : public testing::Test {
 protected:
  void SetUp() override {
    // Git must see neither the machine's configuration nor its identity.
    use_own_git_config(env, home.path, "[init]\n\tdefaultBranch = main\n");
    // A wrapper that records every git command line.
    write_script(bin.path / "git", "echo \"$*\" >> " + log().string() + "\nexec /usr/bin/git \"$@\"");
    env.set("PATH", bin.path.string() + ":/usr/bin:/bin");
  }
  fs::path log() const { return bin.path / "log"; }
  std::string git(const fs::path& dir, const std::string& args) {
    auto ran = run_process(ProcessSpec{.argv = {"sh", "-c", "/usr/bin/git " + args}, .cwd = dir});
    return ran ? ran->output : "";
  }
  void identity() { write_text(home.path / "gitconfig", "[user]\n\tname = Ada\n\temail = ada@example.org\n"); }

  TempDir home, bin, work;
  ScopedEnv env;
  std::stringstream output;
  Printer printer{output, false, false};
};

TEST_F(Git, AFolderWithFilesGetsARepositoryAndAnInitialSnapshot) {
  write_text(work.path / "main.c", "int main;\n");
  auto session = prepare_git(work.path, printer);
  ASSERT_TRUE(session);
  EXPECT_EQ(session->root, work.path);
  EXPECT_EQ(session->pathspec, ".");
  EXPECT_EQ(output.str(), "Git repository created for this folder.\n");
  EXPECT_EQ(git(work.path, "log --format='%an|%ae|%s'"), "Wendlebox|wendlebox@wendlebox.example|Wendlebox: initial snapshot\n");
  EXPECT_EQ(git(work.path, "show --name-only --format= HEAD"), "main.c\n");
  EXPECT_TRUE(read_text(work.path / ".git/info/exclude").ends_with("\n.wendlebox/\n"));
}

// A 0600 file must not become readable to others as a Git object.
TEST_F(Git, ANewRepositoryIsNoWayForAnotherUserToReadPrivateFiles) {
  if (!can_play_other_users()) GTEST_SKIP() << "needs root to act as a second user";
  fs::permissions(work.path, fs::perms(0755));  // the folder itself is open to everyone
  write_text(work.path / "private.txt", "TOKEN=secret\n");
  fs::permissions(work.path / "private.txt", fs::perms(0600));
  write_text(work.path / "README", "public\n");
  ASSERT_TRUE(prepare_git(work.path, printer));
  std::string blob = git(work.path, "rev-parse HEAD:private.txt");
  ASSERT_EQ(blob.size(), 41u) << output.str();
  const fs::path object = work.path / ".git/objects" / blob.substr(0, 2) / blob.substr(2, 38);
  ASSERT_TRUE(fs::exists(object));
  const int readable = as_other_user([&] {
    const bool file = ::open((work.path / "private.txt").c_str(), O_RDONLY) >= 0;
    const bool readme = ::open((work.path / "README").c_str(), O_RDONLY) >= 0;
    const bool copy = ::open(object.c_str(), O_RDONLY) >= 0;
    return (file ? 1 : 0) | (readme ? 0 : 2) | (copy ? 4 : 0);
  });
  EXPECT_EQ(readable, 0) << "1: the file itself, 2: not even the public file, 4: its copy in .git";
}

TEST_F(Git, AnEmptyFolderGetsARepositoryButNoCommit) {
  auto session = prepare_git(work.path, printer);
  ASSERT_TRUE(session);
  EXPECT_EQ(output.str(), "Git repository created for this folder.\n");
  EXPECT_EQ(git(work.path, "rev-list --all --count"), "0\n");
  // A prompt that left it empty has nothing to commit, and no Git error to show.
  EXPECT_FALSE(commit_finished_task(*session, "look around", printer));
  EXPECT_EQ(output.str(), "Git repository created for this folder.\n");
}

// The home folder (keys, downloads, every program's settings) never becomes
// a repository by itself; the session goes on without snapshots and says why.
TEST_F(Git, TheHomeFolderGetsNoRepository) {
  write_text(home.path / ".ssh/id_ed25519", "secret\n");
  EXPECT_FALSE(prepare_git(home.path, printer));
  EXPECT_TRUE(output.str().starts_with("No Git snapshots here: wendlebox does not make a repository of your home "
                                       "folder or of /.")) << output.str();
  EXPECT_FALSE(fs::exists(home.path / ".git"));
}

TEST_F(Git, ASubfolderCommitHoldsOnlyItsOwnChanges) {
  identity();
  git(work.path, "init -q && echo a > top.txt && mkdir -p app/web && echo w > app/web/index.html && git add -A && "
                 "git commit -qm base");
  write_text(work.path / "top.txt", "changed\n");
  git(work.path, "add top.txt");  // staged elsewhere in the repository
  write_text(work.path / "app/web/index.html", "new\n");
  ::unlink(log().c_str());
  auto session = prepare_git(work.path / "app/web", printer);
  ASSERT_TRUE(session);
  EXPECT_EQ(session->pathspec, "app/web");
  EXPECT_EQ(output.str(), "");
  commit_finished_task(*session, "  make the page  \n", printer);
  EXPECT_EQ(output.str(), "Git snapshot saved.\n");
  EXPECT_EQ(git(work.path, "show --name-only --format=%b HEAD"), "make the page\n\n\napp/web/index.html\n");
  EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(git(work.path, "log -1 --format=%s")[0])));
  EXPECT_EQ(git(work.path, "log -1 --format='%an'"), "Ada\n");
  EXPECT_EQ(git(work.path, "diff --cached --name-only"), "top.txt\n");
  EXPECT_EQ(read_text(log()).find("-c user."), std::string::npos);  // the user's own identity, not ours

  commit_finished_task(*session, " ", printer);
  EXPECT_EQ(git(work.path, "log -1 --format=%b"), "Task completed\n\n");
  EXPECT_EQ(git(work.path, "rev-list --count HEAD"), "3\n");
}

TEST_F(Git, CommandsPlantedInTheRepositoryNeverRun) {
  identity();
  git(work.path, "init -q && echo a > a.txt && git add -A && git commit -qm base");
  const fs::path marker = home.path / "ran";
  write_script(bin.path / "planted", "touch " + marker.string());
  const std::string planted = (bin.path / "planted").string();
  for (const char* key : {"core.fsmonitor", "gpg.program", "diff.external", "diff.t.textconv"})
    git(work.path, std::string("config ") + key + " " + planted);
  git(work.path, "config commit.gpgSign true && git config log.showSignature true");
  write_text(work.path / ".gitattributes", "* diff=t\n");
  for (const char* hook : {"pre-commit", "commit-msg", "post-commit"})
    write_script(work.path / ".git/hooks" / hook, "touch " + marker.string());
  auto session = prepare_git(work.path, printer);
  ASSERT_TRUE(session);
  write_text(work.path / "a.txt", "changed\n");
  const std::optional<std::string> commit = commit_finished_task(*session, "change a", printer);
  ASSERT_TRUE(commit) << output.str();
  EXPECT_EQ(git(work.path, "log -1 --format=%b"), "change a\n\n");
  // /diff shows the commit with neither an external diff nor a text conversion.
  const int terminal = ::dup(STDOUT_FILENO);
  const int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, STDOUT_FILENO);
  const Status shown = show_commit(*session, *commit);
  ::dup2(terminal, STDOUT_FILENO);
  ::close(null);
  ::close(terminal);
  EXPECT_TRUE(shown);
  EXPECT_FALSE(fs::exists(marker));
}

TEST_F(Git, TheExcludeLineIsAddedOnlyOnce) {
  git(work.path, "init -q");
  write_text(work.path / ".git/info/exclude", "# local\n  .wendlebox/  \r\n");
  ASSERT_TRUE(prepare_git(work.path, printer));
  EXPECT_EQ(read_text(work.path / ".git/info/exclude"), "# local\n  .wendlebox/  \r\n");
  fs::remove_all(work.path / ".git/info");
  ASSERT_TRUE(prepare_git(work.path, printer));
  ASSERT_TRUE(prepare_git(work.path, printer));
  EXPECT_EQ(read_text(work.path / ".git/info/exclude"), "\n.wendlebox/\n");
}

TEST_F(Git, MissingGitIsANoticeAndNoSession) {
  env.set("PATH", home.path.string());
  EXPECT_FALSE(prepare_git(work.path, printer));
  EXPECT_EQ(output.str(), "Git is not installed. Automatic commits are unavailable.\n");
  auto output_of = git_output(work.path, {"--version"});
  ASSERT_FALSE(output_of);
  EXPECT_EQ(output_of.error().message, "No such file or directory");
}

}  // namespace

}  // namespace wendlebox
