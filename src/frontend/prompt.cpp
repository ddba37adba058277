#include "frontend/prompt.h"
#include "common/printer.h"

#include <algorithm>

#include <iostream>

#include "common/text.h"
#include "i18n/i18n.h"
#include "line_editor/line_editor.h"
#include "frontend/messages.h"

namespace wendlebox {

namespace {

using namespace messages::frontend;

// A single word after "/" (letters only) is a command, never a prompt: an
// unknown one gets the list instead of going to ChatGPT.
bool is_command_word(std::string_view typed) {
  return typed.size() > 1 && typed[0] == '/' &&
         std::ranges::all_of(typed.substr(1), [](char c) { return std::isalpha(static_cast<unsigned char>(c)); });
}

}  // namespace

Result<std::optional<std::string>> read_terminal_prompt(const Printer& out, const std::optional<std::string>& chat_url,
                                                        std::vector<std::string>& history) {
  for (;;) {
    const std::string prompt = out.paint(Colour::prompt, i18n::tr(kYou)) + " ";
    auto line = line_editor::read_line(prompt, history);
    if (!line) return std::unexpected(line.error());
    if (!*line) return std::optional<std::string>();
    const std::string typed(trim(**line));
    if (typed == "/exit" || typed == "/quit") return std::optional<std::string>();
    if (typed == "/chat") {
      out << (chat_url && !chat_url->empty() ? *chat_url : std::string(i18n::tr(kNoUrlYet))) << '\n';
    } else if (typed == "/undo" || typed == "/diff") {
      return std::optional<std::string>(typed);  // the session carries these out
    } else if (is_command_word(typed)) {
      out << i18n::tr(kSessionHelp) << '\n';
    } else if (!typed.empty()) {
      history.push_back(typed);
      return std::optional<std::string>(typed);
    }
  }
}

}  // namespace wendlebox
