// The stage for sessions run in-process, each on a free port, so they run
// beside every other test: the browser and the terminal are stood in for,
// the rest is real (files, Git, the bridge over loopback).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/bridge_client.h"
#include "support/in_process.h"
#include "support/support.h"

namespace wendlebox {

namespace task_in_process {

inline std::string block(const std::string& json) { return "Here you go.\n```wendlebox\n" + json + "\n```\n"; }
inline const std::string kChatId = "aaaabbbb-cccc-dddd-eeee-ffff00001111";
inline const std::string kChatUrl = "https://chatgpt.com/c/" + kChatId;
inline const std::string kDone = block(R"({"status":"done","message":"All set."})");

// The whole program from its command line, as the user starts it.
class Session : public testing::Test {
 protected:
  void SetUp() override { write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false}"); }
  std::filesystem::path urls() const { return bin.path / "urls"; }
  std::unique_ptr<InProcessProgram> start(std::vector<std::string> args, std::string input = "",
                                          const std::filesystem::path& cwd = {}) {
    return start(BinaryRun{.args = std::move(args), .cwd = cwd.empty() ? work.path : cwd, .home = home.path,
                           .input = std::move(input)});
  }
  std::unique_ptr<InProcessProgram> start(const BinaryRun& run,
                                          InProcessProgram::Link link = InProcessProgram::Link::Memory) {
    auto program = std::make_unique<InProcessProgram>(run, urls(), link);
    latest = program.get();
    return program;
  }
  // The URL the browser was opened on; waits for the session to open it.
  std::string launched() const { return last_opened_url(urls()); }
  FakeExtension extension() { return FakeExtension(latest->exchange()); }
  // Once the prompt is over: its /undo, then /exit.
  static CommandResult undo_and_exit(InProcessProgram& wendlebox) {
    const auto printed = [&](const std::string& text) {
      return wait_until([&] { return wendlebox.output_so_far().find(text) != std::string::npos; });
    };
    EXPECT_TRUE(printed("You > "));
    wendlebox.send_input("/undo\n");
    EXPECT_TRUE(printed("changes were undone")) << wendlebox.output_so_far();
    wendlebox.send_input("/exit\n");
    return wendlebox.finish();
  }

  TempDir home, work, bin;
  InProcessProgram* latest = nullptr;
};

}  // namespace task_in_process

}  // namespace wendlebox
