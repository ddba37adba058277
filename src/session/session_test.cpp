// The turn loop in-process: the bridge on a free port, the browser and the
// terminal stood in for, so these run beside every other test.
#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <sstream>
#include <thread>

#include "session/task.h"
#include "support/bridge_client.h"
#include "support/support.h"

namespace {

std::string block(const std::string& json) { return "Here you go.\n```wendlebox\n" + json + "\n```\n"; }

// One session in-process: `play` acts as the extension once the session
// has opened the browser; returns what the session printed.
class InProcessSession : public testing::Test {
 protected:
  void SetUp() override {
    env.set("HOME", home.path.string());
    env.unset("XDG_CONFIG_HOME");
  }
  std::string run(const std::function<void(FakeExtension&)>& play) {
    std::promise<int> port;
    std::promise<std::string> launched;
    const SessionWorld world{
        .port = 0,
        .open_browser = [&](const std::string& url) { return launched.set_value(url), Status{}; },
        .read_prompt =
            [&](const std::optional<std::string>& address, std::vector<std::string>&) {
              shown_addresses.push_back(address);
              return Result<std::optional<std::string>>(std::nullopt);
            },
        .listening = [&](int bound) { port.set_value(bound); }};
    const Chat chat{.id = "c1", .title = "notes", .folder = work.path.string()};
    std::stringstream output;
    std::streambuf* saved = std::cout.rdbuf(output.rdbuf());
    std::thread session([&] { status = task("write notes", chat, SessionSettings{.sounds = false, .git = false}, world); });
    FakeExtension browser(token_of_url(launched.get_future().get()), port.get_future().get());
    play(browser);
    session.join();
    std::cout.rdbuf(saved);
    return output.str();
  }
  TempDir home, work;
  ScopedEnv env;
  Status status;
  std::vector<std::optional<std::string>> shown_addresses;
};

const std::string kWrite = block(R"({"status":"continue","actions":[{"type":"write_file","path":"notes.txt","content":"n\n"}]})");
const std::string kDone = block(R"({"status":"done","message":"All set."})");
const std::string kChatAddress = "https://chatgpt.com/c/aaaabbbb-cccc-dddd-eeee-ffff00001111";

TEST_F(InProcessSession, RunsTurnsUntilDoneThenAsksForTheNextPrompt) {
  nlohmann::json first;
  const std::string output = run([&](FakeExtension& browser) {
    first = browser.answer(kWrite);
    browser.answer(kDone, kChatAddress);
  });
  ASSERT_TRUE(status) << status.error();
  EXPECT_NE(first["prompt"].get<std::string>().find("User task: write notes\n"), std::string::npos);
  EXPECT_EQ(read_text(work.path / "notes.txt"), "n\n");
  EXPECT_NE(output.find("Wrote notes.txt\n"), std::string::npos) << output;
  EXPECT_EQ(shown_addresses, (std::vector<std::optional<std::string>>{kChatAddress}));
}

TEST_F(InProcessSession, AnExtensionOfAnotherVersionIsReportedOnceAndRemembered) {
  const std::string output = run([&](FakeExtension& browser) {
    browser.set_version("0.0.1");
    browser.answer(kWrite);
    browser.answer(kDone);
  });
  ASSERT_TRUE(status) << status.error();
  const std::string warning = "The browser extension (0.0.1) does not match this program (" WENDLEBOX_VERSION ")";
  const std::size_t first = output.find(warning);
  EXPECT_NE(first, std::string::npos) << output;
  EXPECT_EQ(output.find(warning, first + 1), std::string::npos);  // once
  EXPECT_EQ(read_text(home.path / ".config/wendlebox/extension-seen"), "0.0.1");
}

}  // namespace
