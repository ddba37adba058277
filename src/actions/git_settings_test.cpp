// With real git: no write action reaches a file git reads as settings,
// however git comes to read it, and a command-running driver that appears
// in such a file anyway stops the program's git calls instead of running.
#include "git/git_settings.h"

#include <gtest/gtest.h>

#include <pty.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "actions/executor.h"
#include "workspace/out_of_reach.h"
#include "git/git.h"
#include "support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

constexpr const char* kRefused = "Git's own settings cannot be written by actions: git runs the commands they name";

class GitSettingsFiles : public testing::Test {
 protected:
  void SetUp() override {
    GitSettingsRecord::process().clear();
    use_own_git_config(env, home.path, "[user]\n\tname = Ada\n\temail = ada@example.org\n");
    env.set("XDG_CONFIG_HOME", (home.path / "xdg").string());
    git("init -q && echo a > a.txt && git add -A && git commit -qm base");
  }
  void TearDown() override { GitSettingsRecord::process().clear(); }
  std::string git(const std::string& args) {
    auto ran = run_process(ProcessSpec{.argv = {"sh", "-c", "git " + args}, .cwd = work.path});
    return ran ? ran->output + ran->errors : "";
  }
  // A write action as a reply asks for it, after the session learnt the settings.
  std::string write(const std::string& path, const std::string& content) {
    accept_git_settings(work.path, roots);
    bool force_yes = false;
    std::vector<Attachment> pending;
    ExecutionContext context{.base = work.path,
                             .roots = roots,
                             .allow_commands = false,
                             .force_yes = force_yes,
                             .pending = pending,
                             .out = printer};
    auto written = execute(Action{.type = "write_file", .path = path, .content = content}, context);
    return written ? "(written)" : written.error().message;
  }
  fs::path marker() const { return home.path / "ran"; }
  std::string planted_filter() const {
    return "[filter \"x\"]\n\tclean = touch " + marker().string() + "; cat\n";
  }

  TempDir home, work;
  ScopedEnv env;
  std::vector<fs::path> roots{work.path, home.path};
  std::stringstream output;
  Printer printer{output, false, false};
};

struct Reached {
  const char* how;
  const char* config;  // added to the repository's own settings
  const char* path;    // what the reply writes, relative to the working folder
};

// Each way git comes to read a file as settings; `path` exists only where
// the set-up made it (an include may name a file not there yet).
const Reached kReached[] = {
    {"repository include", "[include]\n\tpath = ../.gitconfig\n", ".gitconfig"},
    {"include not there yet, in a folder not there yet", "[include]\n\tpath = ../conf/team.gitconfig\n",
     "conf/team.gitconfig"},
    {"conditional include whose condition does not hold",
     "[includeIf \"gitdir:/elsewhere/\"]\n\tpath = ../maybe.gitconfig\n", "maybe.gitconfig"},
    {"include of an include", "[include]\n\tpath = ../.gitconfig\n", "nested/deeper.gitconfig"},
    {"include through a link to a folder not made yet", "[include]\n\tpath = ../generated/team.gitconfig\n",
     "build/generated/team.gitconfig"},
    {"the same file through a link", "[include]\n\tpath = ../.gitconfig\n", "innocent"},
    {"the same file through a hard link", "[include]\n\tpath = ../.gitconfig\n", "twin"},
    {"hooks folder", "[core]\n\thooksPath = .githooks\n", ".githooks/pre-commit"},
    {"attributes file in the home folder", "[core]\n\tattributesFile = ~/attributes\n", ""},
};

TEST_F(GitSettingsFiles, NoWriteActionReachesAFileGitReadsAsSettings) {
  write_text(work.path / ".gitconfig", "[include]\n\tpath = nested/deeper.gitconfig\n");
  fs::create_symlink(".gitconfig", work.path / "innocent");
  fs::create_hard_link(work.path / ".gitconfig", work.path / "twin");
  fs::create_symlink("build/generated", work.path / "generated");
  for (const Reached& reached : kReached) {
    SCOPED_TRACE(reached.how);
    const fs::path config = work.path / ".git/config";
    const std::string before = read_text(config);
    write_text(config, before + reached.config);
    // An empty path: the home folder's file, reached as an allowed folder.
    const std::string path = *reached.path ? reached.path : (home.path / "attributes").string();
    EXPECT_EQ(write(path, planted_filter()), kRefused);
    write_text(config, before);
  }
  EXPECT_FALSE(fs::exists(work.path / "conf"));  // a refused write makes no folder
  EXPECT_FALSE(fs::exists(work.path / "build"));
  EXPECT_EQ(read_text(work.path / ".gitconfig"), "[include]\n\tpath = nested/deeper.gitconfig\n");
  EXPECT_EQ(write("notes.txt", "fine\n"), "(written)");
}

// `~/.gitconfig` including `~/.gitconfig.local`, the home folder allowed.
TEST_F(GitSettingsFiles, AGlobalIncludeIsRefusedToo) {
  env.unset("GIT_CONFIG_GLOBAL");
  write_text(home.path / ".gitconfig", "[include]\n\tpath = ~/.gitconfig.local\n");
  EXPECT_EQ(write((home.path / ".gitconfig.local").string(), planted_filter()), kRefused);
  EXPECT_FALSE(fs::exists(home.path / ".gitconfig.local"));
}

// The reply's way in: a filter in the included file, and attributes that use it.
TEST_F(GitSettingsFiles, AFilterAReplyPlantsNeverRunsAtTheCommit) {
  git("config include.path ../.gitconfig");
  auto session = prepare_git(work.path, printer);
  ASSERT_TRUE(session);
  EXPECT_EQ(write(".gitconfig", planted_filter()), kRefused);
  EXPECT_EQ(write(".gitattributes", "* filter=x\n"), "(written)");
  write_text(work.path / "a.txt", "changed\n");
  ASSERT_TRUE(commit_finished_task(*session, "change a", printer)) << output.str();
  EXPECT_FALSE(fs::exists(marker()));
}

// Whatever put it there (a command the user let run, a file not learnt),
// a driver that appeared in a settings file inside an allowed folder while
// the session ran stops the commit, and keeps stopping it.
TEST_F(GitSettingsFiles, ADriverThatChangedDuringThePromptStopsTheCommit) {
  git("config include.path ../.gitconfig");
  write_text(work.path / ".gitconfig", "[user]\n\tname = Ada\n");
  accept_git_settings(work.path, roots);
  auto session = prepare_git(work.path, printer);
  ASSERT_TRUE(session);
  write_text(work.path / ".gitconfig", planted_filter());
  write_text(work.path / ".gitattributes", "* filter=x\n");
  write_text(work.path / "a.txt", "changed\n");
  EXPECT_FALSE(commit_finished_task(*session, "change a", printer));
  const std::string notice = "Git snapshot skipped: filter.x.clean is set in " + (work.path / ".gitconfig").string() +
                             ", which changed while this session ran";
  EXPECT_TRUE(output.str().starts_with(notice)) << output.str();
  accept_git_settings(work.path, roots);  // the next prompt
  EXPECT_FALSE(commit_finished_task(*session, "again", printer));
  EXPECT_FALSE(fs::exists(marker()));
  EXPECT_EQ(git("log -1 --format=%s"), "base\n");
}

// The pager that git starts on the terminal for /diff names a command as
// a filter does: one set in a file that changed keeps the display from
// running, and says why.
TEST_F(GitSettingsFiles, APagerThatChangedDuringThePromptIsNotStarted) {
  git("config include.path ../.gitconfig");
  write_text(work.path / ".gitconfig", "[user]\n\tname = Ada\n");
  accept_git_settings(work.path, roots);
  auto session = prepare_git(work.path, printer);
  ASSERT_TRUE(session);
  write_text(work.path / ".gitconfig", "[core]\n\tpager = touch " + marker().string() + "; cat\n");
  int terminal = -1;
  const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::unsetenv("GIT_PAGER");
    ::unsetenv("PAGER");
    auto shown = show_commit(*session, "HEAD");
    std::printf("\n%s\n", shown ? "(shown)" : shown.error().message.c_str());
    std::fflush(stdout);
    ::_exit(0);
  }
  std::string screen;
  char buffer[4096];
  for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0;) screen.append(buffer, static_cast<std::size_t>(n));
  ::close(terminal);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_NE(screen.find("core.pager is set in " + (work.path / ".gitconfig").string() + ", which changed"),
            std::string::npos)
      << screen;
  EXPECT_FALSE(fs::exists(marker()));
}

// A driver's name is any bytes the file gives it: the notice shows them,
// it does not let them drive the terminal.
TEST_F(GitSettingsFiles, TheNoticeOfAChangedDriverShowsControlCharactersAsEscapes) {
  git("config include.path ../.gitconfig");
  write_text(work.path / ".gitconfig", "[user]\n\tname = Ada\n");
  accept_git_settings(work.path, roots);
  auto session = prepare_git(work.path, printer);
  ASSERT_TRUE(session);
  write_text(work.path / ".gitconfig", "[filter \"\x1b]0;owned\x07\"]\n\tclean = cat\n");
  write_text(work.path / "a.txt", "changed\n");
  EXPECT_FALSE(commit_finished_task(*session, "change a", printer));
  EXPECT_NE(output.str().find("filter.\\x1b]0;owned\\x07.clean is set in"), std::string::npos) << output.str();
  EXPECT_EQ(output.str().find('\x1b'), std::string::npos);
}

// "~name/" is that user's home folder to git, whoever runs it.
TEST_F(GitSettingsFiles, AnIncludeInAHomeFolderNamedByItsUserIsKnownToo) {
  const struct passwd* self = ::getpwuid(::geteuid());
  ASSERT_NE(self, nullptr);
  git(std::string("config include.path '~") + self->pw_name + "/team.gitconfig'");
  accept_git_settings(work.path, roots);
  EXPECT_TRUE(ProgramState().git_settings(fs::path(self->pw_dir) / "team.gitconfig"));
}

}  // namespace

}  // namespace wendlebox
