// The stage for whole sessions through the real binary on the product's
// port, with a fake browser opener on PATH and a test client playing the
// extension.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/bridge_client.h"
#include "support/support.h"

namespace wendlebox {

namespace whole_program {

inline const std::string kChatId = "aaaabbbb-cccc-dddd-eeee-ffff00001111";
inline const std::string kChatUrl = "https://chatgpt.com/c/" + kChatId;

inline std::string block(const std::string& json) { return "Here you go.\n```wendlebox\n" + json + "\n```\n"; }
inline const std::string kDone = block(R"({"status":"done","message":"All set."})");

class WholeProgram : public testing::Test {
 protected:
  void SetUp() override {
    write_script(bin.path / "xdg-open", "echo \"$1\" >> " + urls().string());
    write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false}");
  }
  std::filesystem::path urls() const { return bin.path / "urls"; }
  std::unique_ptr<RunningBinary> start(std::vector<std::string> args, std::string input = "",
                                       const std::filesystem::path& cwd = {}) {
    return std::make_unique<RunningBinary>(BinaryRun{.args = std::move(args), .cwd = cwd.empty() ? work.path : cwd,
                                                     .home = home.path, .path_prefix = bin.path.string(),
                                                     .input = std::move(input)});
  }
  // The URL the browser was opened on; waits for the session to open it.
  std::string launched() const { return last_opened_url(urls()); }
  // The extension of the page opened on `url`, paired as setup pairs it.
  FakeExtension extension_for(const std::string& url) const {
    return FakeExtension(token_of_url(url), pairing_key_in(home.path), port_of_url(url));
  }
  FakeExtension extension() { return extension_for(launched()); }
  // Like ChatGPT, which takes a while to answer: waits until the session
  // has seen the job taken and said so `count` times.
  static void wait_for_waiting_lines(const RunningBinary& wendlebox, std::size_t count) {
    wait_until([&] {
      const std::string out = wendlebox.output_so_far();
      std::size_t seen = 0;
      for (std::size_t at = out.find("Waiting for"); at != std::string::npos; at = out.find("Waiting for", at + 1)) ++seen;
      return seen >= count;
    });
  }

  TempDir home, work, bin;
};

}  // namespace whole_program

}  // namespace wendlebox
