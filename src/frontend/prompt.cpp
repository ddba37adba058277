#include "frontend/prompt.h"

#include <iostream>

#include "common/text.h"
#include "i18n/i18n.h"
#include "line_editor/line_editor.h"

namespace {

constexpr i18n::Text kYou{"You >", "Você >", "Tú >"};
constexpr i18n::Text kNoUrlYet{"Chat URL will be saved after the first reply.",
                               "A URL do chat será salva após a primeira resposta.",
                               "La URL del chat se guardará tras la primera respuesta."};
constexpr i18n::Text kSessionHelp{
    "Type a prompt to continue this chat. /chat shows its URL; /exit leaves the session.",
    "Digite um prompt para continuar este chat. /chat mostra a URL; /exit encerra a sessão.",
    "Escribe un prompt para continuar este chat. /chat muestra su URL; /exit cierra la sesión."};

}  // namespace

Result<std::optional<std::string>> read_terminal_prompt(const std::optional<std::string>& chat_url,
                                                        std::vector<std::string>& history) {
  for (;;) {
    const std::string prompt = color("36", i18n::tr(kYou)) + " ";
    auto line = line_editor::read_line(prompt, history);
    if (!line) return std::unexpected(line.error());
    if (!*line) return std::optional<std::string>();
    const std::string typed(trim(**line));
    if (typed == "/exit" || typed == "/quit") return std::optional<std::string>();
    if (typed == "/chat") {
      std::cout << (chat_url && !chat_url->empty() ? *chat_url : std::string(i18n::tr(kNoUrlYet))) << '\n';
    } else if (typed == "/help") {
      std::cout << i18n::tr(kSessionHelp) << '\n';
    } else if (!typed.empty()) {
      history.push_back(typed);
      return std::optional<std::string>(typed);
    }
  }
}
