// Whole sessions through the real binary on a real terminal: the user's
// language, and an editor's shell buffer (TERM=dumb).
#include <gtest/gtest.h>

#include <map>

#include "session/protocol.h"
#include "session/whole_program_fixture.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

using namespace whole_program;

// A run's lines on a terminal, in each language: the question with what
// `a` means, the lines above the last ones shown, the exit, the time limit
// and an action's error.
TEST_F(WholeProgram, ARunSpeaksTheUsersLanguageOnTheTerminal) {
  struct Case {
    const char* lang;
    std::vector<std::string> said;
  };
  const Case cases[] = {
      {"en", {"Run? seq 7\n", "  a: always allow this command in this project", "Allow this command? [y/N/a] (y --force-yes for this session) ",
              "  … 2 earlier lines\n  3\n", "Exit 0\n", "Time limit of 1 s reached: stopping this command.\n",
              "Stopped at its time limit of 1 s\n", "run true failed: timeout must be from 1 to 3600 seconds\n",
              "Ctrl-C: stopping this command; ChatGPT gets what it printed.", "Stopped by Ctrl-C\n",
              "session) ^C\nInterrupted.\n"}},
      {"pt_BR.UTF-8", {"Executar? seq 7\n", "  a: sempre permitir este comando neste projeto",
                       "Permitir este comando? [y/N/a] (y --force-yes para esta sessão) ", "  … 2 linhas anteriores\n  3\n",
                       "Saída 0\n", "Limite de tempo de 1 s atingido: interrompendo este comando.\n",
                       "Interrompido no limite de tempo de 1 s\n", "run true falhou: o timeout deve ser de 1 a 3600 segundos\n",
                       "Ctrl-C: interrompendo este comando;", "Interrompido com Ctrl-C\n", "sessão) ^C\nInterrompido.\n"}},
      {"es_ES.UTF-8", {"¿Ejecutar? seq 7\n", "  a: permitir siempre este comando en este proyecto",
                       "¿Permitir este comando? [y/N/a] (y --force-yes para esta sesión) ", "  … 2 líneas anteriores\n  3\n",
                       "Salida 0\n", "Límite de tiempo de 1 s alcanzado: deteniendo este comando.\n",
                       "Detenido en su límite de tiempo de 1 s\n", "run true falló: el timeout debe ser de 1 a 3600 segundos\n",
                       "Ctrl-C: deteniendo este comando;", "Detenido con Ctrl-C\n", "sesión) ^C\nInterrumpido.\n"}},
  };
  for (const Case& c : cases) {
    write_text(home.path / ".config/wendlebox/settings.json",
               "{\"sounds\": false, \"git\": false, \"allow_commands\": false}");
    fs::remove(urls());
    RunningBinary wendlebox(BinaryRun{.args = {"go"}, .cwd = work.path, .home = home.path,
                                      .env = {{"TERM", "xterm"}, {"NO_COLOR", "1"}, {"LANG", c.lang}},
                                      .path_prefix = bin.path.string(), .keep_stdin_open = true, .terminal = true});
    FakeExtension tab = extension();
    tab.answer(block(R"({"status":"continue","actions":[{"type":"run","command":"true","timeout":0},)"
                         R"({"type":"run","command":"seq 7"},{"type":"run","command":"echo first; sleep 30","timeout":1},)"
                         R"({"type":"run","command":"echo go; sleep 30"}]})"));
    // The screen with the terminal's line ends made plain.
    const auto screen = [&] {
      std::string out = wendlebox.output_so_far();
      std::erase(out, '\r');
      return out;
    };
    const auto shown = [&](const std::string& text, std::size_t times) {
      return wait_until([&] {
        const std::string out = screen();
        std::size_t seen = 0;
        for (std::size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1)) ++seen;
        return seen >= times;
      });
    };
    for (std::size_t question = 1; question <= 3; ++question) {
      ASSERT_TRUE(shown("] (y --force-yes", question)) << screen();
      wendlebox.send_input("y\n");
    }
    ASSERT_TRUE(shown("  go\n", 1)) << screen();
    wendlebox.send_input("\x03");  // Ctrl-C, typed: the command stops
    ASSERT_TRUE(tab.next_job());
    tab.answer(block(R"({"status":"continue","actions":[{"type":"run","command":"true"}]})"));
    ASSERT_TRUE(shown("] (y --force-yes", 4)) << screen();
    wendlebox.send_input("\x03");  // at the question: the prompt stops
    ASSERT_TRUE(shown("\x1b[?2004h", 1)) << screen();  // the follow-up prompt's editor is on
    wendlebox.send_signal(SIGTERM);
    std::string out = wendlebox.finish().out;
    std::erase(out, '\r');
    for (const std::string& line : c.said) EXPECT_NE(out.find(line), std::string::npos) << c.lang << ": " << line << "\n" << out;
  }
}

// An editor's shell buffer (TERM=dumb) on a real terminal: plain lines with
// no escape sequence anywhere, a pasted block is one prompt, and /undo goes
// back one prompt at a time.
TEST_F(WholeProgram, OnADumbTerminalPlainLinesAndUndoAllTheWayBack) {
  write_text(work.path / "a.txt", "old\n");
  auto wendlebox = std::make_unique<RunningBinary>(BinaryRun{.args = {"change a"}, .cwd = work.path, .home = home.path,
                                                             .env = {{"TERM", "dumb"}},
                                                             .path_prefix = bin.path.string(), .terminal = true});
  FakeExtension tab = extension();
  const auto write_a = [](const std::string& content) {
    return block(R"({"status":"continue","actions":[{"type":"run","command":"echo running"},)"
                 R"({"type":"write_file","path":"a.txt","content":")" + content + R"("}]})");
  };
  const auto printed = [&](const std::string& text) {
    return wait_until([&] { return wendlebox->output_so_far().find(text) != std::string::npos; });
  };
  const auto prompts_shown = [&] {
    const std::string screen = wendlebox->output_so_far();
    std::size_t count = 0;
    for (std::size_t at = screen.find("You > "); at != std::string::npos; at = screen.find("You > ", at + 1)) ++count;
    return count;
  };
  tab.answer(write_a("one\\n"));
  tab.answer(kDone, kChatUrl);
  ASSERT_TRUE(wait_until([&] { return prompts_shown() == 1; })) << wendlebox->output_so_far();
  wendlebox->send_input("first line\nsecond line\n");
  auto pasted = tab.answer(write_a("two\\n"));
  EXPECT_NE(pasted["prompt"].get<std::string>().find("first line\nsecond line"), std::string::npos) << pasted["prompt"];
  tab.answer(kDone, kChatUrl);
  ASSERT_TRUE(wait_until([&] { return prompts_shown() == 2; })) << wendlebox->output_so_far();
  EXPECT_EQ(read_text(work.path / "a.txt"), "two\n");
  wendlebox->send_input("/undo\n");
  ASSERT_TRUE(printed("1 earlier prompt(s) of this session can still be undone with /undo."));
  EXPECT_EQ(read_text(work.path / "a.txt"), "one\n");
  wendlebox->send_input("/undo\n");
  ASSERT_TRUE(printed("No earlier prompt of this session is left to undo."));
  EXPECT_EQ(read_text(work.path / "a.txt"), "old\n");
  wendlebox->send_input("/undo\n");
  ASSERT_TRUE(printed("Nothing to undo: every prompt this session committed has been undone."));
  wendlebox->send_input("/exit\n");
  CommandResult r = wendlebox->finish();
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("Undone prompt: first line"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
}

}  // namespace

}  // namespace wendlebox
