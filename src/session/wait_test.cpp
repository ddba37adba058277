#include "session/wait.h"

#include <gtest/gtest.h>

#include "line_editor/line_editor.h"
#include "session/page_link.h"
#include "support/support.h"

#include <sstream>
#include <thread>

namespace wendlebox {

namespace {

using std::chrono::milliseconds;

class Waiting : public testing::Test {
 protected:
  void TearDown() override {
    if (helper.joinable()) helper.join();
  }
  // Plays the bridge thread: optionally polls after `poll_after`, then posts
  // a result after `answer_after`.
  void extension(std::optional<milliseconds> poll_after, std::optional<milliseconds> answer_after) {
    helper = std::thread([=, this] {
      const auto start = std::chrono::steady_clock::now();
      if (poll_after) {
        std::this_thread::sleep_until(start + *poll_after);
        exchange.poll(std::nullopt);
      }
      if (answer_after) {
        std::this_thread::sleep_until(start + *answer_after);
        exchange.deliver(JobResult{.id = 1, .text = "hi"});
      }
    });
  }
  void SetUp() override { exchange.publish(Job{"p", {}, 1}); }
  JobExchange exchange;
  std::thread helper;
  std::stringstream output;
  Printer printer{output, false, false};
  // The deadline for the first poll is far beyond the helper's polls: a
  // loaded machine may start the helper late, and only the test of a missing
  // extension should ever reach it.
  const WaitTimings timings{.connect_deadline = milliseconds(10'000), .slice = milliseconds(20),
                            .notice_interval = milliseconds(100)};
};

TEST_F(Waiting, FailsWhenTheExtensionNeverPolls) {
  extension(std::nullopt, std::nullopt);
  WaitTimings hasty = timings;
  hasty.connect_deadline = milliseconds(150);
  auto result = wait_for_result(exchange, {}, hasty, nullptr, printer);
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().message,
            "The extension did not connect within one minute. Check that it is installed and enabled in the browser "
            "that opened ChatGPT.");
  EXPECT_EQ(output.str(), "");
}

TEST_F(Waiting, OnceTheJobIsTakenThereIsNoDeadlineAndNoticesRepeat) {
  extension(milliseconds(50), milliseconds(600));
  auto result = wait_for_result(exchange, {}, timings, nullptr, printer);
  ASSERT_TRUE(result) << result.error().message;
  EXPECT_EQ(result->text, "hi");
  EXPECT_FALSE(exchange.wait(milliseconds(0)).result);  // taken
  const std::string out = output.str();
  EXPECT_TRUE(out.starts_with("Waiting for ChatGPT's reply...\nStill waiting for this ChatGPT reply. Press Ctrl+C to stop.\n"))
      << out;
  const std::string notice = "Still waiting";
  std::size_t notices = 0;
  for (std::size_t at = out.find(notice); at != std::string::npos; at = out.find(notice, at + 1)) ++notices;
  EXPECT_GE(notices, 2u);
  EXPECT_LE(notices, 6u);
}

// At a terminal the deadline only says what helps: the wait goes on until
// the extension comes (or the user stops it).
TEST_F(Waiting, APatientWaitSaysWhatHelpsAndGoesOn) {
  extension(milliseconds(1'000), milliseconds(1'050));
  WaitTimings patient = timings;
  patient.patient = true;
  patient.connect_deadline = milliseconds(150);
  auto result =
      wait_for_result(exchange, WaitHelp{.not_connected = "\nOpened: here", .extension_folder = {}}, patient, nullptr, printer);
  ASSERT_TRUE(result) << result.error().message;
  EXPECT_TRUE(output.str().starts_with("The extension did not connect within one minute. Check that it is installed and "
                                       "enabled in the browser that opened ChatGPT.\nOpened: here\nStill waiting for the "
                                       "extension; press Ctrl+C to stop this prompt and keep the chat.\n"))
      << output.str();
}

// An extension holding another pairing key (the bridge refuses it) is
// told of once, with the folder setup installed, however often it asks;
// the wait goes on for the paired one.
TEST_F(Waiting, AnotherPairingKeyIsToldOnceWithTheFolderToReload) {
  for (int i = 0; i < 3; ++i) exchange.pairing_mismatch();
  extension(milliseconds(100), milliseconds(200));
  auto result = wait_for_result(exchange, WaitHelp{.not_connected = {}, .extension_folder = "/home/u/ext"}, timings,
                                nullptr, printer);
  ASSERT_TRUE(result) << result.error().message;
  EXPECT_TRUE(output.str().starts_with(
      "The Wendlebox extension in the browser holds a pairing key other than this program's (it was not reloaded "
      "after wendlebox setup, or another copy of it is loaded). Reload Wendlebox in the browser's extensions page "
      "(edge://extensions or chrome://extensions).\nThe folder wendlebox setup installed it in: /home/u/ext\n"
      "Waiting for ChatGPT's reply...\n")) << output.str();
  exchange.pairing_mismatch();
  EXPECT_FALSE(exchange.wait(milliseconds(0)).pairing_mismatch);
}

// The status line is redrawn in place with "\r": cut to one row of a
// narrow terminal, it never leaves wrapped rows behind. A probe's notices
// speak of the page's report, not of a prompt and a chat.
class StatusLine : public Waiting {
 protected:
  std::string screen(std::size_t columns, bool probe) {
    extension(milliseconds(50), milliseconds(300));
    std::stringstream screen;
    WaitTimings waiting = timings;
    waiting.probe = probe;
    auto result = wait_for_result(exchange, {}, waiting, nullptr, Printer(screen, true, false, columns));
    EXPECT_TRUE(result);
    const std::string out = screen.str();
    for (std::size_t at = out.find('\r'); at != std::string::npos; at = out.find('\r', at + 1)) {
      const std::size_t end = out.find("\x1b[K", at);
      if (end == std::string::npos) continue;
      EXPECT_LT(line_editor::display_width(out.substr(at + 1, end - at - 1)), columns) << out;
    }
    return out;
  }
};

TEST_F(StatusLine, FitsTwentyColumns) { EXPECT_NE(screen(20, false).find("\rChatGPT is answeri\u2026\x1b[K"), std::string::npos); }

TEST_F(StatusLine, AProbeWaitsForTheReportOfThePage) {
  const std::string out = screen(200, true);
  EXPECT_NE(out.find("Waiting for the extension's report of the page...\n"), std::string::npos) << out;
  EXPECT_NE(out.find("The extension is reading the page (0 s) \u00b7 Ctrl+C stops the probe\x1b[K"), std::string::npos) << out;
}

TEST_F(Waiting, AResultAlreadyStoredIsTakenAtOnce) {
  exchange.publish(Job{"p", {}, 4});
  exchange.deliver(JobResult{.id = 4});
  auto result = wait_for_result(exchange, {}, timings, nullptr, printer);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->id, 4u);
  EXPECT_EQ(output.str(), "");
}

TEST_F(Waiting, AFailedBridgeThreadEndsTheWait) {
  helper = std::thread([this] { exchange.fail(); });
  auto result = wait_for_result(exchange, {}, timings, nullptr, printer);
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().message, "poisoned lock: another task failed inside");
}

// When the extension never comes, the help says what was opened, or that
// nothing was.
TEST(ConnectHelp, SaysWhetherThePageWasOpened) {
  ScopedEnv env;
  TempDir runtime;
  env.set("XDG_RUNTIME_DIR", runtime.path.string());
  for (const bool launch : {true, false}) {
    BridgedPageLink link(0, BridgedPageLink::Opener{.open = [](const std::string&) { return Status{}; }}, "", [](int) {},
                         WaitTimings{.connect_deadline = milliseconds(100)});
    std::stringstream screen;
    const Printer out(screen, false, false);
    ASSERT_TRUE(link.open_page("https://chatgpt.com/", out, launch));
    EXPECT_EQ(link.launched(), launch);
    auto result = link.ask(Job{"p", {}, 1}, nullptr, out);
    ASSERT_FALSE(result);
    EXPECT_NE(result.error().message.find(launch ? "\nOpened: https://chatgpt.com/\n"
                                                 : "\nThe browser was not opened: open the page shown above by hand.\n"),
              std::string::npos) << result.error().message;
  }
}

}  // namespace

}  // namespace wendlebox
