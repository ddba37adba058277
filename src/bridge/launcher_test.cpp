#include "bridge/launcher.h"

#include <gtest/gtest.h>

#include "common/env.h"
#include "support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

class Opener : public testing::Test {
 protected:
  void SetUp() override {
    env.set("PATH", (dir.path / "a").string());
    env.unset("WSL_INTEROP");
    fs::create_directories(dir.path / "a");
  }
  // A fake opener that records its arguments, one per line.
  void fake(const std::string& name, const std::string& tail = "") {
    write_script(dir.path / "a" / name,
                 "for a in \"$0\" \"$@\"; do echo \"[$a]\"; done > " + (dir.path / "record").string() + "\n" + tail);
  }
  std::string recorded() {
    wait_until([&] { return fs::exists(dir.path / "record") && !read_text(dir.path / "record").empty(); });
    return read_text(dir.path / "record");
  }
  TempDir dir;
  ScopedEnv env;
};

TEST_F(Opener, OnlyGioIsStartedWithOpen) {
  fake("gio");
  EXPECT_EQ(system_opener(), "gio");
  ASSERT_TRUE(open_address("https://chatgpt.com/#wendlebox=abc"));
  EXPECT_EQ(recorded(), "[" + (dir.path / "a/gio").string() + "]\n[open]\n[https://chatgpt.com/#wendlebox=abc]\n");
}

TEST_F(Opener, SkipsNonExecutableCandidatesAndSearchesEveryPathEntry) {
  write_text(dir.path / "a/xdg-open", "not a program");
  fs::create_directories(dir.path / "b");
  write_script(dir.path / "b/xdg-open", "exit 0");
  env.set("PATH", (dir.path / "a").string() + ":" + (dir.path / "b").string());
  EXPECT_EQ(system_opener(), "xdg-open");
  env.set("PATH", (dir.path / "a").string());
  EXPECT_EQ(system_opener(), std::nullopt);
}

TEST_F(Opener, AnEmptyPathEntryIsTheCurrentFolder) {
  fake("sensible-browser");
  const fs::path before = fs::current_path();
  fs::current_path(dir.path / "a");
  env.set("PATH", "/nonexistent:");
  EXPECT_EQ(system_opener(), "sensible-browser");
  fs::current_path(before);
}

TEST_F(Opener, ReportsAnOpenerThatFailsAtOnce) {
  fake("xdg-open", "exit 4");
  auto opened = open_address("u");
  ASSERT_FALSE(opened);
  EXPECT_EQ(opened.error().message, "xdg-open could not open ChatGPT. Check that a default browser is configured.");
}

TEST_F(Opener, AnOpenerStillRunningCountsAsSuccess) {
  fake("xdg-open", "/bin/sleep 1");
  EXPECT_TRUE(open_address("u"));
}

TEST_F(Opener, NoOpenerFound) {
  auto opened = open_address("u");
  ASSERT_FALSE(opened);
  EXPECT_EQ(opened.error().message,
            "No browser opener found. Install xdg-open, gio, or sensible-browser and try again.");
}

TEST_F(Opener, WslUsesCmdExeWithAnEmptyTitle) {
  fake("xdg-open");
  fake("cmd.exe");
  EXPECT_EQ(system_opener(), "xdg-open");
  env.set("WSL_INTEROP", "");
  EXPECT_TRUE(is_wsl());
  EXPECT_EQ(system_opener(), "cmd.exe");
  ASSERT_TRUE(open_address("https://chatgpt.com/"));
  EXPECT_EQ(recorded(), "[" + (dir.path / "a/cmd.exe").string() + "]\n[/C]\n[start]\n[]\n[https://chatgpt.com/]\n");
}

// --browser and $BROWSER are split into words as a shell would, without
// expanding anything: quotes keep a path with spaces whole.
TEST(LaunchCommand, SplitsTheCommandLikeAShellAndPlacesTheAddress) {
  const std::string url = "https://chatgpt.com/";
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases{
      {"firefox-esr --new-window", {"firefox-esr", "--new-window", url}},
      {"\"/opt/My Browser/chrome\" --new-window", {"/opt/My Browser/chrome", "--new-window", url}},
      {"'/opt/My Browser/chrome' --app=%s", {"/opt/My Browser/chrome", "--app=" + url}},
      {"/opt/My\\ Browser/chrome", {"/opt/My Browser/chrome", url}},
      {"\"/opt/it's \\\"here\\\"\" ''", {"/opt/it's \"here\"", "", url}},
      {"C:\\Tools\\browser.exe", {"C:\\Tools\\browser.exe", url}},
      {"\"/opt/open quote", {"/opt/open quote", url}},
  };
  for (const auto& [command, argv] : cases) {
    const auto launch =
        launch_command(url, command, [](std::string_view) -> std::optional<std::string> { return std::nullopt; });
    ASSERT_TRUE(launch) << command;
    EXPECT_EQ(launch->argv, argv) << command;
  }
}

// A snap browser is known by the program started: a link into the snaps'
// folder (directly or through other links), or a script that runs one.
TEST(LaunchCommand, KnowsASnapByTheProgramStarted) {
  TempDir dir;
  const fs::path snaps = dir.path / "snap/bin";
  write_script(snaps / "firefox", "exit 0");
  write_script(snaps / "chromium.chromedriver", "exit 0");
  fs::create_directories(dir.path / "usr/bin");
  fs::create_symlink(snaps / "firefox", dir.path / "usr/bin/firefox");
  fs::create_symlink("firefox", dir.path / "usr/bin/web");
  fs::create_symlink("../../snap/bin/chromium.chromedriver", dir.path / "usr/bin/chromedriver");
  write_script(dir.path / "usr/bin/chromium-browser", "exec " + (snaps / "chromium").string() + " \"$@\"");
  write_script(dir.path / "usr/bin/chrome", "exec /opt/google/chrome/chrome \"$@\"");
  const std::vector<std::pair<std::string, std::optional<std::string>>> cases{
      {"snap/bin/firefox", "firefox"},          {"usr/bin/firefox", "firefox"},
      {"usr/bin/web", "firefox"},               {"usr/bin/chromedriver", "chromium"},
      {"usr/bin/chromium-browser", "chromium"}, {"usr/bin/chrome", std::nullopt},
      {"usr/bin/missing", std::nullopt},
  };
  for (const auto& [program, snap] : cases) EXPECT_EQ(snap_of_program(dir.path / program, snaps), snap) << program;
}

}  // namespace

}  // namespace wendlebox
