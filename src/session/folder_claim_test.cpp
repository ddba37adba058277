#include "session/folder_claim.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fmt/format.h>

#include "process/process.h"
#include "support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

// A session in another process: claims `folder`, says so on a pipe, and
// holds the claim until told to end, or ends at once without letting go
// (as a session that crashes).
class OtherSession {
 public:
  OtherSession(const fs::path& folder, const fs::path& claims, bool crash) {
    int ready[2], end[2];
    if (::pipe(ready) != 0 || ::pipe(end) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(end[1]);
      {
        auto claim = claim_folder(folder, claims);
        const char ok = claim ? '1' : '0';
        (void)!::write(ready[1], &ok, 1);
        if (crash) ::_exit(0);
        char byte;
        (void)!::read(end[0], &byte, 1);
      }  // the session ends: its claim is let go of
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(end[0]);
    end_ = end[1];
    char ok = '0';
    claimed_ = ::read(ready[0], &ok, 1) == 1 && ok == '1';
    ::close(ready[0]);
  }
  ~OtherSession() {
    if (end_ >= 0) ::close(end_);
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  }
  void wait_ended() {
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  pid_t pid() const { return pid_; }
  bool claimed() const { return claimed_; }

 private:
  pid_t pid_ = -1;
  int end_ = -1;
  bool claimed_ = false;
};

class FolderClaims : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(run_process({.argv = {"git", "init", "-q", repo().string()}}));
    fs::create_directories(repo() / "sub");
    fs::create_directories(base.path / "plain" / "inner");
  }
  fs::path repo() const { return base.path / "repo"; }
  fs::path claims() const { return base.path / "state" / "sessions"; }
  TempDir base;
};

struct SecondCase {
  const char* first;
  const char* second;
  bool refused;
};

TEST_F(FolderClaims, ASecondSessionInTheSameFolderOrRepositoryIsRefusedNamingTheOther) {
  for (const SecondCase& c : {SecondCase{"repo", "repo", true}, SecondCase{"repo/sub", "repo", true},
                              SecondCase{"plain", "repo", false}, SecondCase{"plain", "plain/inner", false}}) {
    SCOPED_TRACE(std::string(c.first) + " then " + c.second);
    OtherSession other(base.path / c.first, claims(), false);
    ASSERT_TRUE(other.claimed());
    auto second = claim_folder(base.path / c.second, claims());
    ASSERT_EQ(!second, c.refused);
    if (c.refused) {
      EXPECT_NE(second.error().message.find((base.path / c.first).string() + ","), std::string::npos)
          << second.error();
      EXPECT_NE(second.error().message.find("kill " + std::to_string(other.pid())), std::string::npos);
    }
  }
  // Each claim above was let go of with its session: the folder is free.
  EXPECT_TRUE(claim_folder(repo(), claims()));
  EXPECT_TRUE(fs::is_empty(claims()));
}

TEST_F(FolderClaims, TheClaimOfASessionThatDiedIsTakenOverAndAPlantedLinkIsNeverFollowed) {
  // A claims folder others could write in is made the user's alone first.
  fs::create_directories(claims());
  fs::permissions(claims(), fs::perms::all);
  {
    OtherSession crashed(repo(), claims(), true);
    ASSERT_TRUE(crashed.claimed());
    crashed.wait_ended();
  }
  EXPECT_EQ(fs::status(claims()).permissions(), fs::perms::owner_all);
  ASSERT_FALSE(fs::is_empty(claims()));  // left behind, still naming the dead process
  auto taken = claim_folder(repo() / "sub", claims());
  ASSERT_TRUE(taken) << taken.error();
  const fs::path file = fs::directory_iterator(claims())->path();
  EXPECT_EQ(read_text(file), std::to_string(::getpid()) + "\n" + (repo() / "sub").string() + "\n");
  {
    FolderClaim gone = std::move(*taken);
  }
  // A link in place of the claim file is removed, never written through.
  write_text(base.path / "target", "kept");
  fs::create_symlink(base.path / "target", file);
  EXPECT_TRUE(claim_folder(repo(), claims()));
  EXPECT_EQ(read_text(base.path / "target"), "kept");
  EXPECT_TRUE(fs::is_empty(claims()));
}

// Doctor's list: the claims still held, with the port once recorded; a
// claim its session left behind (it crashed), a planted link and files
// naming no process or folder are not sessions.
TEST_F(FolderClaims, RunningSessionsAreTheClaimsStillHeldWithTheirPorts) {
  {
    OtherSession crashed(base.path / "plain", claims(), true);
    ASSERT_TRUE(crashed.claimed());
    crashed.wait_ended();
  }
  auto held = claim_folder(repo(), claims());
  ASSERT_TRUE(held) << held.error();
  write_text(base.path / "elsewhere.claim", "1\n/elsewhere\n47840\n");
  fs::create_symlink(base.path / "elsewhere.claim", claims() / "planted.claim");
  int junk_files = 0;
  for (const char* junk : {"", "x\n/folder\n", "1\n", "-4\n/folder\n"})
    write_text(claims() / fmt::format("junk{}.claim", ++junk_files), junk);
  const auto listed = [&](const fs::path& locks) {
    std::vector<std::string> found;
    for (const RunningSession& session : running_sessions(claims(), locks))
      found.push_back(fmt::format("{} {} {}", session.pid, session.folder, session.port.value_or(0)));
    return found;
  };
  const std::string mine = std::to_string(::getpid()) + " " + repo().string() + " ";
  EXPECT_EQ(listed("/proc/locks"), std::vector<std::string>{mine + "0"});
  ASSERT_TRUE(held->record_port(47834));
  EXPECT_EQ(listed("/proc/locks"), std::vector<std::string>{mine + "47834"});
  // Where the system lists no locks, a claim is live while its process is.
  EXPECT_EQ(listed(base.path / "no-locks"), std::vector<std::string>{mine + "47834"});
}

}  // namespace

}  // namespace wendlebox
