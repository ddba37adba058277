// What a hostile reply or a process racing the program can try against the
// file actions: links swapped mid-request, hard links to outside files,
// FIFOs, Git's own machinery, escape sequences, background jobs.
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <linux/magic.h>

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <thread>

#include "actions/executor.h"
#include "workspace/out_of_reach.h"
#include "common/files.h"
#include "common/text.h"
#include "support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

class Confinement : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(work / "inside");
    fs::create_directories(outside);
  }
  Result<Json> run(Action action) {
    ExecutionContext context{.base = work,
                             .roots = roots,
                             .allow_commands = true,
                             .force_yes = force_yes,
                             .pending = pending,
                             .out = printer};
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
    EXPECT_EQ(result.error().message, refused) << type;
  }
}

TEST_F(Confinement, NothingInsideAGitOrWendleboxFolderCanBeWritten) {
  fs::create_directories(work / ".git");
  fs::create_directories(work / "vendor/lib/.git");
  for (const char* path : {".git/config", ".git/hooks/pre-commit", "vendor/lib/.git/config"}) {
    auto result = run({"write_file", path, "[core]\n\tfsmonitor = touch /tmp/owned\n"});
    ASSERT_FALSE(result) << path;
    EXPECT_EQ(result.error().message, "Files inside a .git folder cannot be written");
  }
  EXPECT_FALSE(fs::exists(work / ".git/config"));
  for (const char* path : {".wendlebox/chats.json", ".wendlebox/chatlogs/x.jsonl"}) {
    auto result = run({"write_file", path, "[]"});
    ASSERT_FALSE(result) << path;
    EXPECT_EQ(result.error().message, "Files inside a .wendlebox folder cannot be written");
  }
  EXPECT_FALSE(fs::exists(work / ".wendlebox/chats.json"));
  EXPECT_TRUE(run({"write_file", ".gitignore", "build/\n"}));  // a file beside the folder is fine
}

// The system call stops at a NUL: ".git\0/config" would pass a check of
// whole names and then open .git/config.
TEST_F(Confinement, AControlCharacterInAPathIsRefusedBeforeTheFileSystemIsTouched) {
  fs::create_directories(work / ".git");
  using namespace std::string_literals;
  const std::string paths[] = {".git\0/config"s, ".wendlebox\0/chats.json"s, "..\0"s, "..\0/made/f.txt"s,
                               "inside/new\n.txt", "inside/\x1b[2Kx", "inside/c1\xc2\x9b", "inside/del\x7f"};
  for (const std::string& path : paths)
    for (const char* type : {"list_files", "read_file", "write_file", "attach_image"}) {
      auto result = run({type, path, std::string("[core]\n\tfsmonitor = touch /tmp/owned\n")});
      ASSERT_FALSE(result) << type << " " << visible_text(path);
      EXPECT_EQ(result.error().message, "Path cannot contain control characters") << type << " " << visible_text(path);
    }
  EXPECT_FALSE(fs::exists(work / ".git/config"));
  EXPECT_FALSE(fs::exists(work / ".wendlebox"));
  EXPECT_FALSE(fs::exists(dir.path / "made"));
  EXPECT_EQ(std::distance(fs::directory_iterator(work / "inside"), fs::directory_iterator()), 0);
  EXPECT_TRUE(run({"write_file", "inside/odd \u00e9 name.txt", std::string("x")}));  // an ordinary odd name is fine
}

TEST_F(Confinement, ACommandWithANulIsRefused) {
  auto result = run({"run", std::nullopt, std::nullopt, std::string("echo shown\0; touch hidden", 25)});
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().message, "Command cannot contain a NUL byte");
}

// A write that is refused leaves nothing behind, not even the folders on
// the way to what it was refused for.
TEST_F(Confinement, ARefusedWriteCreatesNoFolder) {
  for (const char* path : {"new/.git/hooks/pre-commit", "new/deeper/.wendlebox/chats.json", ".git/new/x"}) {
    auto result = run({"write_file", path, std::string("x")});
    ASSERT_FALSE(result) << path;
    EXPECT_TRUE(result.error().message.starts_with("Files inside a ."));
  }
  EXPECT_FALSE(fs::exists(work / "new"));
  EXPECT_FALSE(fs::exists(work / ".git"));
}

// Another name for the same entry (a case-insensitive file system's
// ".GIT", played here by a bind mount) reaches what the name itself would.
TEST_F(Confinement, AnotherNameForGitsFolderOrTheProgramsOwnIsRefusedToo) {
  if (!can_play_other_users()) GTEST_SKIP() << "needs root for a mount namespace";
  fs::create_directories(work / ".git");
  fs::create_directories(work / ".GIT");
  const fs::path config = dir.path / "config";
  fs::create_directories(config / "wendlebox");
  fs::create_directories(work / "mirror");
  ScopedEnv env;
  env.set("XDG_CONFIG_HOME", config.string());
  const int status = in_own_mount_namespace([&] {
    if (::mount((work / ".git").c_str(), (work / ".GIT").c_str(), nullptr, MS_BIND, nullptr) != 0) return 10;
    if (::mount((config / "wendlebox").c_str(), (work / "mirror").c_str(), nullptr, MS_BIND, nullptr) != 0) return 11;
    auto git = run({"write_file", ".GIT/config", std::string("[core]\n\tfsmonitor = touch /tmp/owned\n")});
    if (git || git.error().message != "Files inside a .git folder cannot be written") return 1;
    auto state = run({"write_file", "mirror/settings.json", std::string("{}")});
    if (state || state.error().message != "Wendlebox's own settings and data cannot be reached by actions") return 2;
    return 0;
  });
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(fs::exists(work / ".git/config"));
  EXPECT_FALSE(fs::exists(config / "wendlebox/settings.json"));
}

// A reply that could write the settings would switch commands back on,
// allow `/`, or name a browser command for the next start.
class OwnState : public Confinement {
 protected:
  void SetUp() override {
    Confinement::SetUp();
    for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME"}) env.unset(variable);
    env.set("HOME", work.string());
    env.set("XDG_RUNTIME_DIR", (dir.path / "run").string());
    fs::create_directories(work / ".local/share/wendlebox/extension");
    write_text(dir.path / "run/wendlebox-open-0011.html", "<a href=\"https://chatgpt.com/#wendlebox=key\">");
    write_text(dir.path / "run/snap.chromium/wendlebox-open-0022.html", "");
    write_text(dir.path / "run/other", "");
  }
  std::string outcome(Action action) {
    auto result = run(std::move(action));
    return result ? "(succeeded)" : result.error().message;
  }
  ScopedEnv env;
  const std::string refused = "Wendlebox's own settings and data cannot be reached by actions";
};

TEST_F(OwnState, IsOutOfReachWhateverFolderIsAllowed) {
  EXPECT_EQ(outcome({"write_file", ".config/wendlebox/settings.json", std::string("{\"allow_commands\":true}")}),
            refused);
  EXPECT_FALSE(fs::exists(work / ".config"));  // not even the folder on the way
  EXPECT_EQ(outcome({"write_file", ".local/share/wendlebox/extension/content.js", std::string("steal()")}), refused);
  EXPECT_EQ(outcome({"list_files", ".local/share/wendlebox"}), refused);
  fs::create_directories(work / ".config/wendlebox");
  write_text(work / ".config/wendlebox/allowed-folders.json", "[]");
  EXPECT_EQ(outcome({"read_file", ".config/wendlebox/allowed-folders.json"}), refused);
  fs::create_directory_symlink(work / ".config", work / "settings-link");
  EXPECT_EQ(outcome({"write_file", "settings-link/wendlebox/chats.json", std::string("[]")}), refused);
  // The state folder itself allowed, and the runtime folder of the forwarding pages.
  roots = {work, work / ".config/wendlebox", dir.path / "run"};
  EXPECT_EQ(outcome({"write_file", (work / ".config/wendlebox/settings.json").string(), std::string("{}")}), refused);
  EXPECT_EQ(outcome({"read_file", (dir.path / "run/wendlebox-open-0011.html").string()}), refused);
  EXPECT_EQ(outcome({"read_file", (dir.path / "run/snap.chromium/wendlebox-open-0022.html").string()}), refused);
  EXPECT_EQ(outcome({"read_file", (dir.path / "run/other").string()}), "(succeeded)");
  EXPECT_EQ(outcome({"list_files", ".local/share"}), "(succeeded)");  // beside it is fine
  EXPECT_FALSE(fs::exists(work / ".config/wendlebox/settings.json"));
}

// A reply that may not run commands could otherwise make the program's own
// `git add` run one, through a filter or a signing program named there.
TEST_F(OwnState, GitsOwnSettingsAreReadableButNeverWritten) {
  const std::string refused_git = "Git's own settings cannot be written by actions: git runs the commands they name";
  write_text(work / ".gitconfig", "[user]\n\tname = Someone\n");
  EXPECT_EQ(outcome({"read_file", ".gitconfig"}), "(succeeded)");
  EXPECT_EQ(outcome({"write_file", ".gitconfig", std::string("[filter \"x\"]\n\tclean = touch pwned\n")}), refused_git);
  EXPECT_EQ(outcome({"write_file", ".config/git/attributes", std::string("* filter=x\n")}), refused_git);
  EXPECT_FALSE(fs::exists(work / ".config"));
  fs::create_symlink(work / ".gitconfig", work / "innocent");
  EXPECT_EQ(outcome({"write_file", "innocent", std::string("[core]\n")}), refused_git);
  env.set("GIT_CONFIG_GLOBAL", (work / "elsewhere.ini").string());
  EXPECT_EQ(outcome({"write_file", "elsewhere.ini", std::string("[core]\n")}), refused_git);
  EXPECT_EQ(read_text(work / ".gitconfig"), "[user]\n\tname = Someone\n");
}

TEST_F(OwnState, ASessionReachingTheHomeFolderOrTheSettingsSaysSo) {
  EXPECT_NE(broad_reach_notice({work}).value_or("").find("whole home folder"), std::string::npos);
  EXPECT_NE(broad_reach_notice({work / "inside", dir.path}).value_or("").find("whole home folder"), std::string::npos);
  env.set("XDG_CONFIG_HOME", (work / "inside/config").string());
  env.set("HOME", (dir.path / "elsewhere").string());
  EXPECT_NE(broad_reach_notice({work}).value_or("").find("hold Wendlebox's own settings"), std::string::npos);
  EXPECT_EQ(broad_reach_notice({work / "inside/project"}), std::nullopt);
}

TEST_F(Confinement, ARunEndsWhenItsShellEndsThoughABackgroundJobHoldsItsOutput) {
  // Were the background job waited for, this test would hang until its time-out.
  auto result = run({"run", std::nullopt, std::nullopt, "sleep 600 & echo $! > job.pid; echo started"});
  ASSERT_TRUE(result) << result.error();
  EXPECT_EQ((*result)["stdout"], "started\n");
  ::kill(std::stoi(read_text(work / "job.pid")), SIGKILL);
}

// What a command left running, even in a session of its own, ends when the
// program is killed outright and cannot end it itself: the keeper does.
TEST_F(Confinement, WhatACommandLeftRunningEndsEvenWhenTheProgramIsKilled) {
  const fs::path pid_file = work / "left.pid";
  const pid_t program = ::fork();
  if (program == 0) {
    (void)run({"run", std::nullopt, std::nullopt, "setsid sleep 600 & echo $! > left.pid"});
    ::raise(SIGKILL);
  }
  ASSERT_GT(program, 0);
  ::waitpid(program, nullptr, 0);
  const pid_t left = pid_in_file(pid_file);
  EXPECT_TRUE(wait_until([&] { return process_ended(left); }));
  if (!process_ended(left)) ::kill(left, SIGKILL);
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

}  // namespace wendlebox
