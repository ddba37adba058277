#include "frontend/setup_shell.h"
#include "common/printer.h"

#include <signal.h>
#include <unistd.h>

#include <iostream>

#include "common/files.h"
#include "common/folders.h"
#include "process/process.h"
#include "common/text.h"
#include "i18n/i18n.h"

namespace {

namespace fs = std::filesystem;

constexpr i18n::Text kWelcome{
    "You can use Wendlebox right here. Type a command (for example --chats, --help, or \"create a snake game\"), or "
    "press Enter to close.",
    "Você já pode usar o Wendlebox aqui. Digite um comando (por exemplo --chats, --help ou \"crie um jogo da "
    "cobrinha\"), ou pressione Enter para fechar.",
    "Ya puedes usar Wendlebox aquí. Escribe un comando (por ejemplo --chats, --help o \"crea un juego de la "
    "serpiente\"), o pulsa Enter para cerrar."};
constexpr i18n::Text kCdHint{"Tip: cd <folder> changes the project folder.", "Dica: cd <pasta> muda a pasta do projeto.",
                             "Consejo: cd <carpeta> cambia la carpeta del proyecto."};
constexpr i18n::Text kFolderNotFound{"Folder not found.", "Pasta não encontrada.", "Carpeta no encontrada."};
constexpr i18n::Text kBackAtPrompt{"Back at the Wendlebox prompt.", "De volta ao prompt do Wendlebox.",
                                   "De vuelta en el prompt de Wendlebox."};

// Ctrl-C while a command runs stops that command, not the shell: the shell
// catches SIGINT with a handler that does nothing, while the child starts
// with the default action.
class ShieldCtrlC {
 public:
  ShieldCtrlC() {
    struct sigaction action {};
    action.sa_handler = ignore;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
  }
  ~ShieldCtrlC() { ::signal(SIGINT, SIG_DFL); }
  ShieldCtrlC(const ShieldCtrlC&) = delete;
  ShieldCtrlC& operator=(const ShieldCtrlC&) = delete;

 private:
  static void ignore(int) {}
};

bool is_exit_word(std::string_view word) {
  const std::string lower = ascii_lower(word);
  return lower == "/exit" || lower == "/quit" || lower == "exit" || lower == "quit";
}

void change_folder(std::string& folder, const std::vector<std::string>& words) {
  std::string joined;
  for (std::size_t i = 1; i < words.size(); ++i) joined += (i > 1 ? " " : "") + words[i];
  auto target = canonical_path(fs::path(folder) / joined);
  if (target && is_dir(*target))
    folder = friendly_folder(*target);
  else
    Printer::standard() << Printer::standard().paint("31", i18n::tr(kFolderNotFound)) << '\n';
}

void run_installed(const fs::path& installed, const std::string& folder, const std::vector<std::string>& words) {
  std::vector<std::string> argv{installed.string()};
  argv.insert(argv.end(), words.begin(), words.end());
  Result<ProcessResult> ran;
  {
    ShieldCtrlC shield;
    ran = run_process(ProcessSpec{.argv = std::move(argv), .cwd = folder, .input = InputMode::Inherit,
                                  .output = OutputMode::Inherit, .errors = OutputMode::Inherit});
  }
  if (!ran)
    Printer::standard() << Printer::standard().paint("31", ran.error().message) << '\n';
  else if (!ran->status.success())
    Printer::standard() << Printer::standard().paint("90", i18n::tr(kBackAtPrompt)) << '\n';
}

}  // namespace

void setup_shell(const fs::path& installed) {
  if (!::isatty(STDIN_FILENO) || !::isatty(STDOUT_FILENO)) return;
  const auto cwd = current_dir();
  std::string folder = cwd ? cwd->string() : ".";
  Printer::standard() << '\n' << Printer::standard().paint("36", i18n::tr(kWelcome)) << '\n' << Printer::standard().paint("90", i18n::tr(kCdHint)) << '\n';
  for (;;) {
    Printer::standard() << '\n' << Printer::standard().paint("36", "wendlebox") << ' ' << folder << "> " << std::flush;
    std::string line;
    if (!std::getline(std::cin, line)) return;
    std::vector<std::string> words = split_shell_words(trim(line), Backslash::Literal);
    if (words.empty() || is_exit_word(words.front())) return;
    const std::string first = ascii_lower(words.front());
    if (first == "wendlebox" || first == "wendlebox.exe") {
      words.erase(words.begin());
      if (words.empty()) continue;
    }
    if (ascii_lower(words.front()) == "cd")
      change_folder(folder, words);
    else
      run_installed(installed, folder, words);
  }
}

