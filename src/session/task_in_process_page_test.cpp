// task() in-process: the session's way to ChatGPT's page: --probe, the
// bridge and its forwarding page, the extension's version and pairing key,
// and how ChatGPT's message is shown.
#include <gtest/gtest.h>

#include "session/task_in_process_fixture.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

using namespace task_in_process;

// --probe asks for a report instead of a prompt, prints each landmark and
// the candidates for the editor and the file input, and writes the report
// beside the user; a report it cannot read is a failure.
TEST_F(Session, ProbePrintsTheLandmarksAndWritesTheReport) {
  auto wendlebox = start({"--probe"});
  FakeExtension tab = extension();
  auto job = tab.next_job();
  ASSERT_TRUE(job);
  EXPECT_EQ((*job)["probe"], true);
  EXPECT_EQ((*job)["prompt"], "");
  const std::string report =
      R"({"landmarks":[{"name":"composer form","found":true,"how":"structure: form"},)"
      R"({"name":"send button","found":false,"how":"not found\u001b[2J"}],"skeleton":{"tag":"body"},)"
      R"("composers":[{"what":"[data-composer-markdown][contenteditable] 0×0","used":false},)"
      R"({"what":"[data-composer-markdown][contenteditable] 640×48","used":true}],)"
      R"("fileInputs":[{"what":"input[type=\"file\"][capture=\"environment\"] in the composer","used":false}]})";
  tab.post_result({{"id", (*job)["id"]}, {"text", report}});
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("  composer form            structure: form\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("not found\\x1b[2J\n1 of 2 landmarks found.\nMessage boxes on the page:\n"
                       "  [data-composer-markdown][contenteditable] 0×0\n"
                       "  [data-composer-markdown][contenteditable] 640×48  (used)\n"
                       "File inputs on the page:\n  input[type=\"file\"][capture=\"environment\"] in the composer\n"),
            std::string::npos)
      << r.out;
  std::vector<fs::path> written;
  for (const auto& entry : fs::directory_iterator(work.path)) written.push_back(entry.path());
  ASSERT_EQ(written.size(), 1u);
  EXPECT_TRUE(written[0].filename().string().starts_with("wendlebox-probe-"));
  EXPECT_NE(read_text(written[0]).find("\"skeleton\": {"), std::string::npos);

  auto again = start({"--probe"});
  FakeExtension second = extension();
  second.answer("not a report");
  EXPECT_EQ(again->finish().err, "Wendlebox: The extension's report is not a JSON object.\n");

  // A wrongly typed field is a message naming it, not an end of the program.
  auto typed = start({"--probe"});
  FakeExtension third = extension();
  third.answer(R"({"landmarks":[{"name":5}]})");
  const std::string err = typed->finish().err;
  EXPECT_TRUE(err.starts_with("Wendlebox: The extension's report has a landmark that cannot be read: invalid type: "
                              "number, expected a string for `name`"))
      << err;
  auto listed = start({"--probe"});
  FakeExtension fourth = extension();
  fourth.answer(R"({"landmarks":[],"fileInputs":[{"what":"x","used":"yes"}]})");
  const std::string listed_err = listed->finish().err;
  EXPECT_TRUE(listed_err.starts_with("Wendlebox: The extension's report has a `fileInputs` entry that cannot be read: "
                                     "invalid type: string, expected a boolean for `used`"))
      << listed_err;
}

// Over the bridge the page gets the address with the session's token in
// its fragment, and the extension finds the job there.
TEST_F(Session, OverTheBridgeTheTokenTravelsOnlyInAPrivateForwardingPage) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto wendlebox = start(BinaryRun{.args = {"go"}, .cwd = work.path, .home = home.path}, InProcessProgram::Link::Bridge);
  const std::string url = launched();
  ASSERT_TRUE(url.starts_with("https://chatgpt.com/#wendlebox=")) << url;
  // The browser is started on a private page that forwards it: the token is
  // not in its command line.
  const fs::path page = last_opened_argument(urls());
  EXPECT_EQ(page.parent_path(), home.path / ".local/share/wendlebox/pages");
  EXPECT_EQ(fs::status(page).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::status(page.parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
  FakeExtension tab(token_of_url(url), pairing_key_in(home.path), wendlebox->port());
  tab.answer(kDone, kChatUrl);
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("Chat: " + kChatUrl + "\n"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(page));  // gone with the session
}

// Every line of ChatGPT's message is marked as ChatGPT's, so none passes
// for a line of the program's own.
TEST_F(Session, EachLineOfChatGptsMessageCarriesItsPrefix) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto wendlebox = start({"go"});
  extension().answer(block(R"({"status":"done","message":"Done.\nRun? echo hello"})"));
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("ChatGPT Done.\nChatGPT Run? echo hello\n"), std::string::npos) << r.out;
}


// An extension that holds another pairing key than the program's (it was
// not reloaded after setup) is refused over the real bridge, and the
// terminal says once to reload it, however often it asks; the paired
// extension is served all along.
TEST_F(Session, AnExtensionWithAnotherPairingKeyIsToldOnceToBeReloaded) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto wendlebox = start(BinaryRun{.args = {"go"}, .cwd = work.path, .home = home.path}, InProcessProgram::Link::Bridge);
  const std::string url = launched();
  FakeExtension stale(token_of_url(url), std::string(64, 'b'), wendlebox->port());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(stale.request("GET", "/next").body, R"({"error":"Pairing mismatch"})");
  const std::string told = "The Wendlebox extension in the browser holds a pairing key other than this program's";
  ASSERT_TRUE(wait_until([&] { return wendlebox->output_so_far().find(told) != std::string::npos; }));
  FakeExtension(token_of_url(url), pairing_key_in(home.path), wendlebox->port()).answer(kDone);
  const CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out.find(told), r.out.rfind(told)) << r.out;
}

// Without a way to open the browser, or with --no-browser, the private page
// that leads to the chat is shown, to be opened by hand, and the session goes on.
TEST_F(Session, WithoutOpeningTheBrowserThePageIsShownAndTheSessionGoesOn) {
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  const std::string shown = "Open this page in the browser where the extension is installed (a private file that "
                            "forwards to ChatGPT with this session's key):\n";
  for (const auto& [args, link, why] : {
           std::tuple{std::vector<std::string>{"go"}, InProcessProgram::Link::BridgeWithoutOpener, "No browser opener found.\n"},
           std::tuple{std::vector<std::string>{"--no-browser", "go"}, InProcessProgram::Link::Bridge,
                      "Not opening the browser (--no-browser).\n"}}) {
    auto wendlebox = start(BinaryRun{.args = args, .cwd = work.path, .home = home.path}, link);
    ASSERT_TRUE(wait_until([&] { return wendlebox->output_so_far().find(shown) != std::string::npos; }));
    const std::string out = wendlebox->output_so_far();
    const std::size_t page = out.find(why + shown);
    ASSERT_NE(page, std::string::npos) << out;
    const std::size_t start = page + std::string(why).size() + shown.size();
    const std::string path = out.substr(start, out.find('\n', start) - start);
    // Nothing was opened, and nothing says it was.
    EXPECT_EQ(out.find("Opening ChatGPT."), std::string::npos) << out;
    EXPECT_NE(out.find("Keep the ChatGPT tab open while this session runs"), std::string::npos) << out;
    FakeExtension(token_of_url(forwarded_url(path)), pairing_key_in(home.path), wendlebox->port()).answer(kDone);
    EXPECT_EQ(wendlebox->finish().exit_code, 0);
    EXPECT_FALSE(fs::exists(urls()));  // nothing was handed to an opener
  }
}

}  // namespace

}  // namespace wendlebox
