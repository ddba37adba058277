// The change an edit makes, as the user meets it in the real program: on
// a terminal of 80 and of 40 columns (coloured, each line cut to the
// width), and with standard output a file (the same lines, plain).
#include <gtest/gtest.h>

#include "line_editor/line_editor.h"
#include "support/bridge_client.h"
#include "support/support.h"

namespace wendlebox {

namespace {

std::string block(const std::string& json) { return "Editing.\n```wendlebox\n" + json + "\n```\n"; }

// The screen's text without colour, one entry per line, as it is left.
std::vector<std::string> plain_lines(const std::string& screen) {
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < screen.size(); ++i) {
    if (screen[i] == '\x1b') {
      const std::size_t end = screen.find_first_of("mKJFhl", i);
      i = end == std::string::npos ? screen.size() : end;
    } else if (screen[i] == '\n') {
      lines.emplace_back();
    } else if (screen[i] == '\r') {
      // Back to the line's start: what follows is drawn over it (a status
      // line replaced in place).
      if (i + 1 < screen.size() && screen[i + 1] != '\n') lines.back().clear();
    } else {
      lines.back() += screen[i];
    }
  }
  return lines;
}

TEST(ChangeViewOnScreen, AnEditIsShownFittedToTheTerminalOrPlainWithoutOne) {
  std::string file;
  for (int i = 1; i <= 30; ++i) file += "value_" + std::to_string(i) + " = " + std::to_string(i) + "\n";
  const std::string long_tail(200, 'z');
  for (const unsigned short columns : {80, 40, 0}) {
    TempDir home, work, bin;
    write_script(bin.path / "xdg-open", "echo \"$1\" >> " + (bin.path / "urls").string());
    write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
    write_text(work.path / "a.py", file);
    const bool terminal = columns > 0;
    RunningBinary wendlebox(BinaryRun{.args = {"rename"}, .cwd = work.path, .home = home.path,
                                      .env = {{"TERM", "xterm"}}, .path_prefix = bin.path.string(),
                                      .terminal = terminal, .columns = terminal ? columns : static_cast<unsigned short>(80)});
    FakeExtension browser(token_of_url(last_opened_url(bin.path / "urls")), pairing_key_in(home.path));
    browser.answer(block(R"({"status":"continue","actions":[{"type":"edit_file","path":"a.py","edits":[)"
                         R"({"old":"value_15 = 15\n","new":"renamed_15 = 15 # )" + long_tail + R"(\n"}]}]})"));
    browser.answer(block(R"({"status":"done","message":"Renamed."})"));
    if (terminal) {
      ASSERT_TRUE(wait_until([&] { return wendlebox.output_so_far().find("You >") != std::string::npos; }))
          << wendlebox.output_so_far();
      wendlebox.send_input("/exit\n");
    }
    const CommandResult r = wendlebox.finish();
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    // Coloured on a terminal only: red out, green in.
    EXPECT_EQ(r.out.find("\x1b[31m15 - value_15 = 15\x1b[0m") != std::string::npos, terminal) << r.out;
    EXPECT_EQ(r.out.find("\x1b[32m15 + renamed_15") != std::string::npos, terminal) << r.out;
    const std::vector<std::string> lines = plain_lines(r.out);
    const auto edited = std::ranges::find_if(lines, [](const std::string& l) { return l.starts_with("Edited a.py"); });
    ASSERT_NE(edited, lines.end()) << r.out;
    EXPECT_EQ(*edited, "Edited a.py (+1 −1)");
    const std::vector<std::string> shown(edited + 1, edited + 7);
    EXPECT_EQ(shown[0], "13   value_13 = 13");
    EXPECT_EQ(shown[1], "14   value_14 = 14");
    EXPECT_EQ(shown[2], "15 - value_15 = 15");
    EXPECT_TRUE(shown[3].starts_with("15 + renamed_15 = 15 # zzz") && shown[3].ends_with("z…")) << shown[3];
    EXPECT_EQ(shown[4], "16   value_16 = 16");
    EXPECT_EQ(shown[5], "17   value_17 = 17");
    // The cut line takes the terminal's width less one column, so it never
    // wraps; without a terminal it is cut all the same.
    EXPECT_EQ(line_editor::display_width(shown[3]), terminal ? columns - 1u : 159u) << shown[3];
  }
}

}  // namespace

namespace {

// The saved setting reaches the session: its questions read from standard
// input, "a" lets through the rest of one prompt only, and the reason given
// after "n" reaches ChatGPT with the refusal.
TEST(ReviewInSession, AnswersFromStandardInputReachChatGpt) {
  TempDir home, work, bin;
  write_script(bin.path / "xdg-open", "echo \"$1\" >> " + (bin.path / "urls").string());
  write_text(home.path / ".config/wendlebox/settings.json",
             "{\"sounds\": false, \"git\": false, \"review_edits\": true}");
  write_text(work.path / "a.py", "one = 1\ntwo = 2\nthree = 3\n");
  RunningBinary wendlebox(BinaryRun{.args = {"rename"}, .cwd = work.path, .home = home.path,
                                    .path_prefix = bin.path.string(),
                                    .input = "a\nrename again\nn keep the old name\n"});
  FakeExtension browser(token_of_url(last_opened_url(bin.path / "urls")), pairing_key_in(home.path));
  const auto edit = [](const std::string& old_text, const std::string& new_text) {
    return R"({"type":"edit_file","path":"a.py","edits":[{"old":")" + old_text + R"(","new":")" + new_text + R"("}]})";
  };
  browser.answer(block(R"({"status":"continue","actions":[)" + edit("one", "uno") + "," + edit("two", "dos") + "]}"));
  const nlohmann::json first_results = browser.answer(block(R"({"status":"done","message":"Renamed."})"));
  EXPECT_EQ(first_results["prompt"].get<std::string>().find("\"ok\": false"), std::string::npos) << first_results;
  const nlohmann::json second = browser.answer(block(R"({"status":"continue","actions":[)" + edit("three", "tres") + "]}"));
  EXPECT_NE(second["prompt"].get<std::string>().find("rename again"), std::string::npos) << second;
  const nlohmann::json refused = browser.answer(block(R"({"status":"done","message":"Kept."})"));
  EXPECT_NE(refused["prompt"].get<std::string>().find(
                "User declined the change; the file was not changed. Their reason: keep the old name"),
            std::string::npos)
      << refused;
  const CommandResult r = wendlebox.finish();
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(read_text(work.path / "a.py"), "uno = 1\ndos = 2\nthree = 3\n");
  std::size_t questions = 0;
  for (auto at = r.out.find("Apply this change? [y/N/a] "); at != std::string::npos;
       at = r.out.find("Apply this change? [y/N/a] ", at + 1))
    ++questions;
  EXPECT_EQ(questions, 2u) << r.out;
}

}  // namespace

}  // namespace wendlebox
