// The turn loop in-process: the bridge on a free port, the browser and the
// terminal stood in for, so these run beside every other test.
#include <gtest/gtest.h>

#include <future>
#include <sstream>
#include <thread>

#include "session/task.h"
#include "support/bridge_client.h"
#include "support/support.h"

namespace {

std::string block(const std::string& json) { return "Here you go.\n```wendlebox\n" + json + "\n```\n"; }

TEST(InProcessSession, RunsTurnsUntilDoneThenAsksForTheNextPrompt) {
  TempDir home, work;
  ScopedEnv env;
  env.set("HOME", home.path.string());
  env.unset("XDG_CONFIG_HOME");
  std::promise<int> port;
  std::promise<std::string> launched;
  std::vector<std::optional<std::string>> shown_addresses;
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
  Status status;
  std::thread session([&] { status = task("write notes", chat, SessionSettings{.sounds = false, .git = false}, world); });

  FakeExtension browser(token_of_url(launched.get_future().get()), port.get_future().get());
  auto first = browser.answer(block(R"({"status":"continue","actions":[{"type":"write_file","path":"notes.txt","content":"n\n"}]})"));
  browser.answer(block(R"({"status":"done","message":"All set."})"), "https://chatgpt.com/c/aaaabbbb-cccc-dddd-eeee-ffff00001111");
  session.join();
  std::cout.rdbuf(saved);

  ASSERT_TRUE(status) << status.error();
  EXPECT_NE(first["prompt"].get<std::string>().find("User task: write notes\n"), std::string::npos);
  EXPECT_EQ(read_text(work.path / "notes.txt"), "n\n");
  EXPECT_NE(output.str().find("Wrote notes.txt\n"), std::string::npos) << output.str();
  EXPECT_EQ(shown_addresses, (std::vector<std::optional<std::string>>{"https://chatgpt.com/c/aaaabbbb-cccc-dddd-eeee-ffff00001111"}));
}

}  // namespace
