// Whole sessions through the real binary: which browser opens ChatGPT, and
// when the session's key goes on its command line.
#include <gtest/gtest.h>

#include <map>

#include "session/protocol.h"
#include "session/whole_program_fixture.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

using namespace whole_program;

// The browser that opens ChatGPT: the one chosen with --browser (saved for
// later sessions), else $BROWSER, else the system's opener.
TEST_F(WholeProgram, TheChosenBrowserOpensChatGpt) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  write_script(bin.path / "firefox-esr", "echo \"$@\" >> " + (bin.path / "firefox-urls").string());
  auto wendlebox = start({"--browser", "firefox-esr", "task"});
  const std::string opened = last_opened_argument(bin.path / "firefox-urls");
  extension_for(forwarded_url(opened)).answer(kDone);
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(r.out.starts_with("ChatGPT will open with: firefox-esr\n")) << r.out;
  EXPECT_FALSE(fs::exists(urls()));  // the system's opener was not asked
  EXPECT_NE(read_text(home.path / ".config/wendlebox/settings.json").find("\"browser\": \"firefox-esr\""), std::string::npos);

  // Cleared, $BROWSER decides: its first command, the address where it says %s.
  EXPECT_EQ(run_binary({.args = {"--browser", "default"}, .home = home.path}).exit_code, 0);
  write_script(bin.path / "my-browser", "echo \"$@\" >> " + (bin.path / "my-urls").string());
  wendlebox = std::make_unique<RunningBinary>(BinaryRun{.args = {"task"}, .cwd = work.path, .home = home.path,
                                                        .env = {{"BROWSER", "my-browser --new-window %s:other"}},
                                                        .path_prefix = bin.path.string()});
  const std::string line = last_opened_argument(bin.path / "my-urls");
  ASSERT_TRUE(line.starts_with("--new-window ")) << line;
  extension_for(forwarded_url(line.substr(13))).answer(kDone);
  EXPECT_EQ(wendlebox->finish().exit_code, 0);
  EXPECT_FALSE(fs::exists(urls()));

  // A program whose path holds spaces, quoted, with an argument after it.
  write_script(bin.path / "My Browser/chrome", "echo \"$@\" >> " + (bin.path / "spaced-urls").string());
  wendlebox = start({"--browser", "\"" + (bin.path / "My Browser/chrome").string() + "\" --new-window", "task"});
  const std::string spaced = last_opened_argument(bin.path / "spaced-urls");
  ASSERT_TRUE(spaced.starts_with("--new-window ")) << spaced;
  extension_for(forwarded_url(spaced.substr(13))).answer(kDone);
  EXPECT_EQ(wendlebox->finish().exit_code, 0);
}

// The session's key goes on the browser's command line, where every user
// of the machine can read it, only with the user told so and why. Whether
// the browser is a snap (which reads only its own folders) is the browser
// actually started's business, not the default's.
TEST_F(WholeProgram, TheKeyIsOnABrowsersCommandLineOnlyWithAWarning) {
  write_script(bin.path / "xdg-settings", "echo firefox_firefox.desktop");  // the default browser is a snap
  write_script(bin.path / "plain-browser", "echo \"$1\" >> " + (bin.path / "plain-urls").string());
  TempDir runtime;
  fs::permissions(runtime.path, fs::perms::owner_all);
  const std::string warning = "Warning: this session's key is on the browser's command line";
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::map<std::string, std::string> env;
    fs::path urls;
    fs::path page_folder;  // empty: the address itself, with the warning
  };
  const std::vector<Case> cases{
      {"another browser chosen", {"--browser", "plain-browser", "go"}, {}, bin.path / "plain-urls",
       home.path / ".local/share/wendlebox/pages"},
      {"the snap, with a runtime folder", {"go"}, {{"XDG_RUNTIME_DIR", runtime.path.string()}}, urls(),
       runtime.path / "snap.firefox"},
      {"the snap, without one", {"go"}, {}, urls(), {}},
  };
  for (const Case& c : cases) {
    write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
    fs::remove(c.urls);
    RunningBinary wendlebox(BinaryRun{.args = c.args, .cwd = work.path, .home = home.path, .env = c.env,
                                      .path_prefix = bin.path.string()});
    const std::string opened = last_opened_argument(c.urls);
    extension_for(forwarded_url(opened)).answer(kDone);
    CommandResult r = wendlebox.finish();
    EXPECT_EQ(r.exit_code, 0) << c.what << r.err;
    if (c.page_folder.empty()) {
      EXPECT_TRUE(opened.starts_with("https://chatgpt.com/#wendlebox=")) << c.what << opened;
      EXPECT_NE(r.out.find(warning + ", where other users of this computer can read it and act as your browser, "
                                     "because firefox is a snap browser"),
                std::string::npos)
          << c.what << r.out;
    } else {
      EXPECT_EQ(fs::path(opened).parent_path(), c.page_folder) << c.what;
      EXPECT_EQ(r.out.find(warning), std::string::npos) << c.what << r.out;
    }
  }
}

}  // namespace

}  // namespace wendlebox
