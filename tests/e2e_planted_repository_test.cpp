// A reply that lays out a folder as a bare repository (HEAD, objects,
// refs, config): the program's own git, run there by a search, must not
// take that folder for a repository and read the reply's config, here one
// that makes git read the user's terminal, so the session would stop there.
#include <gtest/gtest.h>

#include "support/bridge_client.h"
#include "support/support.h"

namespace wendlebox {

namespace {

std::string block(const std::string& json) { return "Looking.\n```wendlebox\n" + json + "\n```\n"; }

std::string write(const std::string& path, const std::string& content) {
  return nlohmann::json{{"type", "write_file"}, {"path", path}, {"content", content}}.dump();
}

TEST(PlantedRepository, GitRunByASearchReadsNoConfigAReplyWrote) {
  TempDir home, work, bin;
  write_script(bin.path / "xdg-open", "echo \"$1\" >> " + (bin.path / "urls").string());
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  write_text(work.path / "sub/notes.txt", "needle\n");
  RunningBinary wendlebox(BinaryRun{.args = {"look"}, .cwd = work.path, .home = home.path,
                                    .path_prefix = bin.path.string(), .terminal = true});
  FakeExtension browser(token_of_url(last_opened_url(bin.path / "urls")), pairing_key_in(home.path));
  browser.answer(block(R"({"status":"continue","actions":[)" + write("sub/HEAD", "ref: refs/heads/main\n") + "," +
                       write("sub/objects/info/keep", "") + "," + write("sub/refs/heads/keep", "") + "," +
                       write("sub/config", "[include]\n\tpath = /dev/tty\n[core]\n\tbare = true\n") +
                       R"(,{"type":"search","pattern":"needle","path":"sub"}]})"));
  const nlohmann::json results = browser.answer(block(R"({"status":"done","message":"Found."})"));
  EXPECT_NE(results["prompt"].get<std::string>().find("notes.txt"), std::string::npos) << results;
  ASSERT_TRUE(wait_until([&] { return wendlebox.output_so_far().find("You >") != std::string::npos; }))
      << wendlebox.output_so_far();
  wendlebox.send_input("/exit\n");
  const CommandResult r = wendlebox.finish();
  EXPECT_EQ(r.exit_code, 0) << r.out;
}

}  // namespace

}  // namespace wendlebox
