// The program's own time per turn: from a posted result holding one
// write_file and one read_file until the next job can be fetched, measured
// against the real binary.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "support/bridge_client.h"
#include "support/support.h"

using namespace wendlebox;
namespace fs = std::filesystem;

using Clock = std::chrono::steady_clock;

int main() {
  TempDir home, work, bin;
  write_script(bin.path / "xdg-open", "echo \"$1\" >> " + (bin.path / "urls").string());
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  RunningBinary wendlebox(BinaryRun{.args = {"bench"}, .cwd = work.path, .home = home.path,
                                    .path_prefix = bin.path.string()});
  if (!wait_until([&] { return fs::exists(bin.path / "urls"); })) return 1;
  const std::string url = last_opened_url(bin.path / "urls");
  FakeExtension tab(token_of_url(url), pairing_key_in(home.path));
  const std::string reply =
      "```wendlebox\n{\"status\":\"continue\",\"actions\":[{\"type\":\"write_file\",\"path\":\"a.txt\",\"content\":\"" +
      std::string(10000, 'x') + "\"},{\"type\":\"read_file\",\"path\":\"a.txt\"}]}\n```";
  // A poll the program holds until the next job, as the extension's is, so
  // the figure is the program's own time rather than a poll interval.
  const auto poll_job = [&]() -> std::optional<nlohmann::json> {
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < deadline) {
      HttpReply reply = tab.request("GET", "/next?wait=30");
      if (reply.status == 200) return nlohmann::json::parse(reply.body);
    }
    return std::nullopt;
  };
  std::vector<double> turns;
  auto job = poll_job();
  for (int turn = 1; turn < 24 && job; ++turn) {
    const auto posted = Clock::now();
    tab.post_result({{"id", (*job)["id"]}, {"text", reply}});
    job = poll_job();
    turns.push_back(std::chrono::duration<double, std::milli>(Clock::now() - posted).count());
  }
  if (job) tab.post_result({{"id", (*job)["id"]}, {"text", "```wendlebox\n{\"status\":\"done\"}\n```"}});
  wendlebox.finish();
  if (turns.empty()) {
    std::fprintf(stderr, "session: no job reached the test client\n");
    return 1;
  }
  std::sort(turns.begin(), turns.end());
  std::printf("session: posted result to next job (write_file + read_file): median %.2f ms over %zu turns\n",
              turns[turns.size() / 2], turns.size());
  return 0;
}
