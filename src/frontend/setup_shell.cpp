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
#include "frontend/messages.h"

namespace wendlebox {

namespace {

namespace fs = std::filesystem;

using namespace messages::frontend;

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

void change_folder(const Printer& out, std::string& folder, const std::vector<std::string>& words) {
  std::string joined;
  for (std::size_t i = 1; i < words.size(); ++i) joined += (i > 1 ? " " : "") + words[i];
  auto target = canonical_path(fs::path(folder) / joined);
  if (target && is_dir(*target))
    folder = friendly_folder(*target);
  else
    out << out.paint(Colour::error, i18n::tr(kFolderNotFound)) << '\n';
}

void run_installed(const Printer& out, const fs::path& installed, const std::string& folder, const std::vector<std::string>& words) {
  std::vector<std::string> argv{installed.string()};
  argv.insert(argv.end(), words.begin(), words.end());
  Result<ProcessResult> ran;
  {
    ShieldCtrlC shield;
    ran = run_process(ProcessSpec{.argv = std::move(argv), .cwd = folder, .input = InputMode::Inherit,
                                  .output = OutputMode::Inherit, .errors = OutputMode::Inherit});
  }
  if (!ran)
    out << out.paint(Colour::error, ran.error().message) << '\n';
  else if (!ran->status.success())
    out << out.paint(Colour::dim, i18n::tr(kBackAtPrompt)) << '\n';
}

}  // namespace

void setup_shell(const Printer& out, const fs::path& installed) {
  if (!::isatty(STDIN_FILENO) || !::isatty(STDOUT_FILENO)) return;
  const auto cwd = current_dir();
  std::string folder = cwd ? cwd->string() : ".";
  out << '\n' << out.paint(Colour::heading, i18n::tr(kWelcome)) << '\n' << out.paint(Colour::dim, i18n::tr(kCdHint)) << '\n';
  for (;;) {
    out << '\n' << out.paint(Colour::prompt, "wendlebox") << ' ' << folder << "> " << std::flush;
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
      change_folder(out, folder, words);
    else
      run_installed(out, installed, folder, words);
  }
}

}  // namespace wendlebox
