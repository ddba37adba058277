// With real git: what a snapshot leaves out so that no private file
// becomes readable to others through .git, and no secret goes into a new
// repository's first snapshot.
#include "git/left_out.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "git/git.h"
#include "git/git_settings.h"
#include "support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

class LeftOut : public testing::Test {
 protected:
  void SetUp() override {
    GitSettingsRecord::process().clear();
    use_own_git_config(env, home.path, "[user]\n\tname = Ada\n\temail = ada@example.org\n");
  }
  std::string git(const std::string& args) {
    auto ran = run_process(ProcessSpec{.argv = {"sh", "-c", "git " + args}, .cwd = work.path});
    return ran ? ran->output : "";
  }
  TempDir home, work;
  ScopedEnv env;
  std::stringstream output;
  Printer printer{output, false, false};
};

// A repository of the user's whose .git everyone may enter: another user
// reads nothing through it that they could not read in the folder.
TEST_F(LeftOut, APrivateUntrackedFileStaysOutOfHistoryOthersCanRead) {
  if (!can_play_other_users()) GTEST_SKIP() << "needs root to act as a second user";
  fs::permissions(work.path, fs::perms(0755));
  git("init -q && echo a > README && git add -A && git commit -qm base");
  ASSERT_EQ(fs::status(work.path / ".git").permissions(), fs::perms(0755));
  write_text(work.path / ".env", "TOKEN=secret\n");
  fs::permissions(work.path / ".env", fs::perms(0600));
  write_text(work.path / "vault/plain.txt", "in a closed folder\n");
  fs::permissions(work.path / "vault", fs::perms(0700));
  write_text(work.path / "notes.txt", "public\n");
  auto session = prepare_git(work.path, printer);
  ASSERT_TRUE(session);
  ASSERT_TRUE(commit_finished_task(*session, "add notes", printer));
  EXPECT_EQ(git("show --name-only --format= HEAD"), "notes.txt\n");
  const std::string named = "Left out of the Git snapshot, as other users can read this repository's .git but not "
                            "these files: .env, vault/plain.txt. To make .git private: chmod 700 " +
                            (work.path / ".git").string() + "\n";
  EXPECT_EQ(output.str(), named + "Git snapshot saved.\n");
  const int seen = as_other_user([&] {
    const bool objects = ::open((work.path / ".git/HEAD").c_str(), O_RDONLY) >= 0;
    const bool secret = ::open((work.path / ".env").c_str(), O_RDONLY) >= 0;
    return (objects ? 0 : 1) | (secret ? 2 : 0);
  });
  EXPECT_EQ(seen, 0) << "1: .git is not open to others after all, 2: the file is";
  // Named once; once .git is private, they go in like any file.
  ASSERT_TRUE(commit_finished_task(*session, "again", printer));
  EXPECT_EQ(output.str(), named + "Git snapshot saved.\nGit snapshot saved.\n");
  fs::permissions(work.path / ".git", fs::perms(0700));
  ASSERT_TRUE(commit_finished_task(*session, "private now", printer));
  EXPECT_EQ(git("show --name-only --format= HEAD"), ".env\nvault/plain.txt\n");
}

// .git shared with one group: a file whose group bits open it to another
// group (here the user's own) is private to the members of .git's group.
TEST_F(LeftOut, AFileOpenToAnotherGroupThanGitsStaysOut) {
  if (!can_play_other_users()) GTEST_SKIP() << "needs root to act as a second user";
  fs::permissions(work.path, fs::perms(0755));
  git("init -q && echo a > README && git add -A && git commit -qm base");
  git("config core.sharedRepository group && chgrp -R 65534 .git && chmod -R g+rX,o-rwx .git");
  write_text(work.path / "notes.txt", "public\n");
  write_text(work.path / "team-only.txt", "secret\n");
  ASSERT_EQ(::chown((work.path / "team-only.txt").c_str(), ::geteuid(), ::getegid()), 0);
  fs::permissions(work.path / "team-only.txt", fs::perms(0640));
  auto session = prepare_git(work.path, printer);
  ASSERT_TRUE(session);
  ASSERT_TRUE(commit_finished_task(*session, "add notes", printer));
  EXPECT_EQ(git("show --name-only --format= HEAD"), "notes.txt\n");
  const int seen = as_other_user([&] {
    const bool objects = ::open((work.path / ".git/HEAD").c_str(), O_RDONLY) >= 0;
    const bool secret = ::open((work.path / "team-only.txt").c_str(), O_RDONLY) >= 0;
    return (objects ? 0 : 1) | (secret ? 2 : 0);
  });
  EXPECT_EQ(seen, 0) << "1: .git is not open to the other user after all, 2: the file is";
}

// The names only hint: a look-alike goes in, and a name full of git's
// pattern characters is kept out exactly.
TEST_F(LeftOut, ANewRepositoryKeepsSecretNamedFilesOutOfItsFirstSnapshot) {
  for (const char* name : {".env", ".env.production", "config/server.key", "certs/site.pem", "id_ed25519", ".netrc",
                           "credentials.json", "odd [*?] name.pem", "main.c", "id_ed25519.pub", "key.txt", "env"})
    write_text(work.path / name, "x\n");
  ASSERT_TRUE(prepare_git(work.path, printer));
  EXPECT_EQ(git("show --name-only --format= HEAD"), "env\nid_ed25519.pub\nkey.txt\nmain.c\n");
  EXPECT_EQ(output.str(),
            "Kept out of Git, as their names say they hold secrets (listed in .git/info/exclude): .env, "
            ".env.production, .netrc, certs/site.pem, config/server.key, credentials.json, id_ed25519, odd [*?] "
            "name.pem\nGit repository created for this folder.\n");
  EXPECT_NE(read_text(work.path / ".git/info/exclude").find("\n/odd \\[\\*\\?] name.pem\n"), std::string::npos);
  EXPECT_EQ(git("status --porcelain"), "");  // all of them ignored from now on, nothing else left behind
}

TEST(SecretNames, AreToldByTheWholeNameOrItsEnding) {
  for (const char* name : {".env", ".env.local", "id_rsa", "tls.key", "ca.pem", "credentials", "_netrc"})
    EXPECT_TRUE(secret_by_name(name)) << name;
  for (const char* name : {"environment", "id_rsa.pub", "keys.md", "pem", "my.env", "key"})
    EXPECT_FALSE(secret_by_name(name)) << name;
}

}  // namespace

}  // namespace wendlebox
