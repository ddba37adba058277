#include "session/wait.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

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
        exchange.deliver(BrowserResult{.id = 1, .text = "hi"});
      }
    });
  }
  void SetUp() override { exchange.publish(Job{"p", {}, 1}); }
  JobExchange exchange;
  std::thread helper;
  std::stringstream output;
  Printer printer{output, false, false};
  const WaitTimings timings{.connect_deadline = milliseconds(150), .slice = milliseconds(20),
                            .notice_interval = milliseconds(100)};
};

TEST_F(Waiting, FailsWhenTheExtensionNeverPolls) {
  extension(std::nullopt, std::nullopt);
  auto result = wait_for_result(exchange, {}, timings, nullptr, printer);
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
  extension(milliseconds(400), milliseconds(450));
  WaitTimings patient = timings;
  patient.patient = true;
  auto result = wait_for_result(exchange, "\nOpened: here", patient, nullptr, printer);
  ASSERT_TRUE(result) << result.error().message;
  EXPECT_TRUE(output.str().starts_with("The extension did not connect within one minute. Check that it is installed and "
                                       "enabled in the browser that opened ChatGPT.\nOpened: here\nStill waiting for the "
                                       "extension; press Ctrl+C to stop this prompt and keep the chat.\n"))
      << output.str();
}

TEST_F(Waiting, AResultAlreadyStoredIsTakenAtOnce) {
  exchange.publish(Job{"p", {}, 4});
  exchange.deliver(BrowserResult{.id = 4});
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

}  // namespace
