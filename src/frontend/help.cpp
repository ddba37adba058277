#include "frontend/help.h"
#include "common/printer.h"

#include <fmt/format.h>
#include <iostream>

#include "common/text.h"
#include "i18n/i18n.h"
#include "line_editor/line_editor.h"
#include "frontend/messages.h"

namespace wendlebox {

namespace {

constexpr std::string_view kContact = "help@wendlebox.example";

using namespace messages::frontend;

constexpr std::string_view kEnglishBody = R"HELP(
  wendlebox                                  New interactive chat
  wendlebox "create a snake game"            Continue this project's latest chat, or start a new one
  wendlebox 1                                Open saved chat 1
  wendlebox "add keyboard controls" 1        Continue chat 1 with a prompt

  wendlebox --block-commands                 Ask before running shell commands
  wendlebox --allow-commands                 Run commands without asking (default)
  wendlebox --review-edits                   Show each change to a file and ask before applying it
  wendlebox --apply-edits                    Apply changes to files without asking, showing each (default)
  wendlebox --no-browser "prompt"            Start without opening the browser: shows the page to open by hand
  wendlebox --browser <command>              Open ChatGPT with this browser from now on (default: the system's)
  wendlebox --block-sounds                   Silence task completion sounds
  wendlebox --allow-sounds                   Play task completion sounds again (default)
  wendlebox --block-git                      Disable automatic Git snapshots and commits
  wendlebox --allow-git                      Enable automatic Git again (default)
  wendlebox --no-project-instructions        Stop sending the project's AGENTS.md (or the like) to new chats
  wendlebox --project-instructions           Send it with the first prompt of each chat again (default)
  wendlebox --add-folder <path>              Allow file access to a folder
  wendlebox --remove-folder <path>           Remove a folder from the allow list
  wendlebox --list-folders                   List allowed folders
  wendlebox --chats                          List this project's saved chats (--history and --list also work)
  wendlebox --chats-all                      List saved chats from every project
  wendlebox --chatlog <chat ID or number>    Show local prompts and final replies
  wendlebox doctor                           Check installation
  wendlebox uninstall [--purge]              Remove what setup installed (--purge: settings and chats too)
  wendlebox --probe [chat ID or number]      Report what the extension finds on ChatGPT's page
  wendlebox version                          Show the program's version

A prompt alone resumes the latest chat when this folder has a .wendlebox project. Run wendlebox without a prompt for a new chat. Settings commands save your choice without starting a chat. When commands are blocked, type y --force-yes at a prompt to allow the rest of that session. Type /exit to leave an active session. Quote prompts containing spaces. The first words help, setup, doctor, uninstall and version are commands; put -- before a prompt that starts with one of them.)HELP";

constexpr std::string_view kPortugueseBody = R"HELP(
  wendlebox                                  Novo chat interativo
  wendlebox "crie um jogo da cobrinha"       Continua o último chat deste projeto, ou inicia um novo
  wendlebox 1                                Abre o chat salvo 1
  wendlebox "adicione controles" 1           Continua o chat 1 com um prompt

  wendlebox --block-commands                 Pergunta antes de executar comandos
  wendlebox --allow-commands                 Executa comandos sem perguntar (padrão)
  wendlebox --review-edits                   Mostra cada alteração num arquivo e pergunta antes de aplicá-la
  wendlebox --apply-edits                    Aplica as alterações sem perguntar, mostrando cada uma (padrão)
  wendlebox --no-browser "prompt"            Começa sem abrir o navegador: mostra a página para abrir à mão
  wendlebox --browser <comando>              Abre o ChatGPT com este navegador daqui em diante (default: o do sistema)
  wendlebox --block-sounds                   Silencia os sons de conclusão
  wendlebox --allow-sounds                   Volta a tocar os sons de conclusão (padrão)
  wendlebox --block-git                      Desativa snapshots e commits automáticos do Git
  wendlebox --allow-git                      Reativa o Git automático (padrão)
  wendlebox --no-project-instructions        Deixa de enviar o AGENTS.md (ou semelhante) do projeto aos chats
  wendlebox --project-instructions           Volta a enviá-lo com o primeiro prompt de cada chat (padrão)
  wendlebox --add-folder <caminho>           Permite acesso a arquivos de uma pasta
  wendlebox --remove-folder <caminho>        Remove uma pasta da lista permitida
  wendlebox --list-folders                   Lista as pastas permitidas
  wendlebox --chats                          Lista os chats salvos deste projeto (--history e --list também funcionam)
  wendlebox --chats-all                      Lista os chats salvos de todos os projetos
  wendlebox --chatlog <ID ou número>         Mostra os prompts e respostas finais locais
  wendlebox doctor                           Verifica a instalação
  wendlebox uninstall [--purge]              Remove o que o setup instalou (--purge: configurações e chats também)
  wendlebox --probe [ID ou número]           Relata o que a extensão encontra na página do ChatGPT
  wendlebox version                          Mostra a versão do programa

Um prompt sozinho retoma o último chat quando esta pasta já tem um projeto .wendlebox. Execute wendlebox sem prompt para um novo chat. Os comandos de configuração salvam sua escolha sem iniciar um chat. Com os comandos bloqueados, digite y --force-yes em um prompt para permitir o resto da sessão. Digite /exit para sair de uma sessão ativa. Use aspas em prompts com espaços. As primeiras palavras help, setup, doctor, uninstall e version são comandos; use -- antes de um prompt que comece com uma delas.)HELP";

constexpr std::string_view kSpanishBody = R"HELP(
  wendlebox                                  Nuevo chat interactivo
  wendlebox "crea un juego de la serpiente"  Continúa el último chat de este proyecto, o inicia uno nuevo
  wendlebox 1                                Abre el chat guardado 1
  wendlebox "añade controles" 1              Continúa el chat 1 con un prompt

  wendlebox --block-commands                 Pregunta antes de ejecutar comandos
  wendlebox --allow-commands                 Ejecuta comandos sin preguntar (predeterminado)
  wendlebox --review-edits                   Muestra cada cambio en un archivo y pregunta antes de aplicarlo
  wendlebox --apply-edits                    Aplica los cambios sin preguntar, mostrando cada uno (predeterminado)
  wendlebox --no-browser "prompt"            Empieza sin abrir el navegador: muestra la página para abrir a mano
  wendlebox --browser <comando>              Abre ChatGPT con este navegador desde ahora (default: el del sistema)
  wendlebox --block-sounds                   Silencia los sonidos de finalización
  wendlebox --allow-sounds                   Vuelve a reproducir los sonidos de finalización (predeterminado)
  wendlebox --block-git                      Desactiva los snapshots y commits automáticos de Git
  wendlebox --allow-git                      Reactiva el Git automático (predeterminado)
  wendlebox --no-project-instructions        Deja de enviar el AGENTS.md (o similar) del proyecto a los chats
  wendlebox --project-instructions           Vuelve a enviarlo con el primer prompt de cada chat (predeterminado)
  wendlebox --add-folder <ruta>              Permite el acceso a archivos de una carpeta
  wendlebox --remove-folder <ruta>           Quita una carpeta de la lista permitida
  wendlebox --list-folders                   Lista las carpetas permitidas
  wendlebox --chats                          Lista los chats guardados de este proyecto (--history y --list también funcionan)
  wendlebox --chats-all                      Lista los chats guardados de todos los proyectos
  wendlebox --chatlog <ID o número>          Muestra los prompts y respuestas finales locales
  wendlebox doctor                           Comprueba la instalación
  wendlebox uninstall [--purge]              Elimina lo que setup instaló (--purge: también configuración y chats)
  wendlebox --probe [ID o número]            Informa de lo que la extensión encuentra en la página de ChatGPT
  wendlebox version                          Muestra la versión del programa

Un prompt solo retoma el último chat cuando esta carpeta ya tiene un proyecto .wendlebox. Ejecuta wendlebox sin prompt para un chat nuevo. Los comandos de configuración guardan tu elección sin iniciar un chat. Con los comandos bloqueados, escribe y --force-yes en un prompt para permitir el resto de la sesión. Escribe /exit para salir de una sesión activa. Usa comillas en los prompts con espacios. Las primeras palabras help, setup, doctor, uninstall y version son comandos; pon -- antes de un prompt que empiece por una de ellas.)HELP";

}  // namespace

namespace {

// `words` (separated by single spaces) filled greedily into rows of at most
// `width` columns, every row after the first starting with `indent`
// spaces. A word longer than a row has one of its own.
std::vector<std::string> fill(std::string_view words, std::size_t first_width, std::size_t width, std::size_t indent) {
  std::vector<std::string> rows{""};
  std::size_t used = 0, room = first_width;
  for (std::size_t at = 0; at <= words.size();) {
    std::size_t end = words.find(' ', at);
    if (end == std::string_view::npos) end = words.size();
    const std::string_view word = words.substr(at, end - at);
    const std::size_t w = line_editor::display_width(word);
    if (used > 0 && used + 1 + w > room) {
      rows.push_back(std::string(indent, ' '));
      used = 0;
      room = width > indent ? width - indent : 1;
    }
    if (used > 0) {
      rows.back() += ' ';
      ++used;
    }
    rows.back() += word;
    used += w;
    at = end + 1;
  }
  return rows;
}

// Where a usage row's description starts (after the run of blanks that
// follows the usage), or npos for a line that is no usage row.
std::size_t description_start(std::string_view line) {
  if (!line.starts_with("  wendlebox")) return std::string_view::npos;
  const std::size_t gap = line.find("  ", 2);
  if (gap == std::string_view::npos) return std::string_view::npos;
  return line.find_first_not_of(' ', gap);
}

}  // namespace

std::string wrap_help(std::string_view text, std::size_t columns) {
  // A row is filled up to the last column but one: a character in the last
  // column makes some terminals wrap on their own.
  const std::size_t width = columns > 1 ? columns - 1 : 1;
  std::string wrapped;
  for (std::string_view line : split_lines(text)) {
    std::vector<std::string> rows;
    const std::size_t start = description_start(line);
    if (line_editor::display_width(line) <= width) {
      rows.emplace_back(line);
    } else if (start != std::string_view::npos && line_editor::display_width(line.substr(0, start)) + 20 <= width) {
      // The description wraps in its own column.
      const std::size_t column = line_editor::display_width(line.substr(0, start));
      rows = fill(line.substr(start), width - column, width, column);
      rows.front().insert(0, line.substr(0, start));
    } else if (start != std::string_view::npos) {
      // Too narrow for two columns: the usage, then the description below
      // it, each indented a little more than the row before.
      const std::size_t step = width >= 40 ? 2 : 1;
      rows = fill(trim(line.substr(0, start)), width - 2, width, 2 + step);
      rows.front().insert(0, "  ");
      const std::size_t indent = 2 + 2 * step;
      for (const std::string& row : fill(line.substr(start), width - indent, width, indent))
        rows.push_back(row.starts_with(' ') ? row : std::string(indent, ' ') + row);
    } else {
      rows = fill(line, width, width, 0);
    }
    for (const std::string& row : rows) wrapped += row + "\n";
  }
  if (!text.ends_with('\n') && !wrapped.empty()) wrapped.pop_back();
  return wrapped;
}

std::string help_text() {
  const i18n::Text body{kEnglishBody, kPortugueseBody, kSpanishBody};
  // An empty line sets the title apart from the body (each body starts with its own line break).
  return fmt::format("{}{}\n{}", i18n::tr(kTitle), kContact, i18n::tr(body));
}

void print_help(const Printer& out) {
  // At a terminal the lines wrap between words; elsewhere (a pipe, the
  // manual page's maker) the text stays exactly as written.
  out << (out.columns() > 0 ? wrap_help(help_text(), out.columns()) : help_text()) << '\n';
}

}  // namespace wendlebox
