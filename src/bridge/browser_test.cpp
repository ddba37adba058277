#include "bridge/browser.h"

#include <gtest/gtest.h>

#include "common/env.h"
#include "support/support.h"

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
  EXPECT_EQ(browser_opener(), "gio");
  ASSERT_TRUE(open_browser("https://chatgpt.com/#wendlebox=abc"));
  EXPECT_EQ(recorded(), "[" + (dir.path / "a/gio").string() + "]\n[open]\n[https://chatgpt.com/#wendlebox=abc]\n");
}

TEST_F(Opener, SkipsNonExecutableCandidatesAndSearchesEveryPathEntry) {
  write_text(dir.path / "a/xdg-open", "not a program");
  fs::create_directories(dir.path / "b");
  write_script(dir.path / "b/xdg-open", "exit 0");
  env.set("PATH", (dir.path / "a").string() + ":" + (dir.path / "b").string());
  EXPECT_EQ(browser_opener(), "xdg-open");
  env.set("PATH", (dir.path / "a").string());
  EXPECT_EQ(browser_opener(), std::nullopt);
}

TEST_F(Opener, AnEmptyPathEntryIsTheCurrentFolder) {
  fake("sensible-browser");
  const fs::path before = fs::current_path();
  fs::current_path(dir.path / "a");
  env.set("PATH", "/nonexistent:");
  EXPECT_EQ(browser_opener(), "sensible-browser");
  fs::current_path(before);
}

TEST_F(Opener, ReportsAnOpenerThatFailsAtOnce) {
  fake("xdg-open", "exit 4");
  auto opened = open_browser("u");
  ASSERT_FALSE(opened);
  EXPECT_EQ(opened.error(), "xdg-open could not open ChatGPT. Check that a default browser is configured.");
}

TEST_F(Opener, AnOpenerStillRunningCountsAsSuccess) {
  fake("xdg-open", "/bin/sleep 1");
  EXPECT_TRUE(open_browser("u"));
}

TEST_F(Opener, NoOpenerFound) {
  auto opened = open_browser("u");
  ASSERT_FALSE(opened);
  EXPECT_EQ(opened.error(), "No browser opener found. Install xdg-open, gio, or sensible-browser and try again.");
}

TEST_F(Opener, WslUsesCmdExeWithAnEmptyTitle) {
  fake("xdg-open");
  fake("cmd.exe");
  EXPECT_EQ(browser_opener(), "xdg-open");
  env.set("WSL_INTEROP", "");
  EXPECT_TRUE(is_wsl());
  EXPECT_EQ(browser_opener(), "cmd.exe");
  ASSERT_TRUE(open_browser("https://chatgpt.com/"));
  EXPECT_EQ(recorded(), "[" + (dir.path / "a/cmd.exe").string() + "]\n[/C]\n[start]\n[]\n[https://chatgpt.com/]\n");
}

}  // namespace
