#include "frontend/installed_browsers.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <utility>

#include <fmt/format.h>

#include "bridge/launcher.h"
#include "common/files.h"
#include "common/folders.h"
#include "i18n/i18n.h"

namespace {

namespace fs = std::filesystem;

// Debian's names and the vendors' own; ESR first, so that a `firefox` that
// is a link to it counts as ESR.
constexpr std::array<std::pair<std::string_view, BrowserKind>, 15> kKnownBrowsers{{
    {"firefox-esr", BrowserKind::FirefoxUnsigned},
    {"firefox-devedition", BrowserKind::FirefoxUnsigned},
    {"firefox-developer-edition", BrowserKind::FirefoxUnsigned},
    {"firefox-nightly", BrowserKind::FirefoxUnsigned},
    {"firefox", BrowserKind::FirefoxRelease},
    {"chromium", BrowserKind::Chromium},
    {"chromium-browser", BrowserKind::Chromium},
    {"google-chrome", BrowserKind::Chromium},
    {"google-chrome-stable", BrowserKind::Chromium},
    {"microsoft-edge", BrowserKind::Chromium},
    {"microsoft-edge-stable", BrowserKind::Chromium},
    {"brave-browser", BrowserKind::Chromium},
    {"vivaldi", BrowserKind::Chromium},
    {"opera", BrowserKind::Chromium},
    {"thorium-browser", BrowserKind::Chromium},
}};

constexpr i18n::Text kChromiumSteps{
    "In {0}: open chrome://extensions (edge://extensions in Edge), turn on \"Developer mode\", click \"Load "
    "unpacked\" and select:\n    {1}",
    "No {0}: abra chrome://extensions (edge://extensions no Edge), ative o \"Modo do desenvolvedor\", clique em "
    "\"Carregar sem compactação\" e selecione:\n    {1}",
    "En {0}: abre chrome://extensions (edge://extensions en Edge), activa el \"Modo de desarrollador\", pulsa "
    "\"Cargar descomprimida\" y elige:\n    {1}"};
constexpr i18n::Text kUnsignedSteps{
    "In {0}, which keeps an add-on that Mozilla has not signed:\n"
    "  1. Open about:config and set xpinstall.signatures.required to false.\n"
    "  2. Open about:addons, click the gear button, choose \"Install Add-on From File...\" and pick:\n"
    "     {1}\n"
    "  3. Make ChatGPT open there:  wendlebox --browser {0}",
    "No {0}, que mantém um complemento que a Mozilla não assinou:\n"
    "  1. Abra about:config e defina xpinstall.signatures.required como false.\n"
    "  2. Abra about:addons, clique na engrenagem, escolha \"Instalar extensão de um arquivo...\" e selecione:\n"
    "     {1}\n"
    "  3. Faça o ChatGPT abrir nele:  wendlebox --browser {0}",
    "En {0}, que conserva un complemento que Mozilla no ha firmado:\n"
    "  1. Abre about:config y pon xpinstall.signatures.required en false.\n"
    "  2. Abre about:addons, pulsa el engranaje, elige \"Instalar complemento desde archivo...\" y selecciona:\n"
    "     {1}\n"
    "  3. Haz que ChatGPT se abra ahí:  wendlebox --browser {0}"};
constexpr i18n::Text kReleaseSteps{
    "In {0}, which loads an add-on that Mozilla has not signed only until it restarts:\n"
    "  1. Open about:debugging#/runtime/this-firefox, click \"Load Temporary Add-on...\" and pick:\n"
    "     {1}\n"
    "  2. After each restart of Firefox, load it again from there:  {0} about:debugging#/runtime/this-firefox\n"
    "  3. Make ChatGPT open there:  wendlebox --browser {0}",
    "No {0}, que carrega um complemento que a Mozilla não assinou só até reiniciar:\n"
    "  1. Abra about:debugging#/runtime/this-firefox, clique em \"Carregar extensão temporária...\" e selecione:\n"
    "     {1}\n"
    "  2. A cada reinício do Firefox, carregue de novo por ali:  {0} about:debugging#/runtime/this-firefox\n"
    "  3. Faça o ChatGPT abrir nele:  wendlebox --browser {0}",
    "En {0}, que carga un complemento que Mozilla no ha firmado solo hasta que se reinicia:\n"
    "  1. Abre about:debugging#/runtime/this-firefox, pulsa \"Cargar complemento temporal...\" y selecciona:\n"
    "     {1}\n"
    "  2. Tras cada reinicio de Firefox, cárgalo de nuevo desde ahí:  {0} about:debugging#/runtime/this-firefox\n"
    "  3. Haz que ChatGPT se abra ahí:  wendlebox --browser {0}"};
constexpr i18n::Text kNoPackage{
    "In {0}: the Firefox package of the extension (wendlebox-<version>.xpi) did not come with this program.",
    "No {0}: o pacote da extensão para o Firefox (wendlebox-<versão>.xpi) não veio com este programa.",
    "En {0}: el paquete de la extensión para Firefox (wendlebox-<versión>.xpi) no venía con este programa."};

// Debian's firefox-esr diverts `firefox` to a script that runs firefox.real
// when a release Firefox is installed beside it, else the ESR itself.
bool is_esr_wrapper(const fs::path& program) {
  auto start = read_file_prefix(program, 512);
  return start && start->find("exec firefox-esr") != std::string::npos &&
         !fs::exists(program.parent_path() / "firefox.real");
}

}  // namespace

std::vector<InstalledBrowser> installed_browsers() {
  std::vector<InstalledBrowser> found;
  std::vector<fs::path> programs;
  for (const auto& [command, kind] : kKnownBrowsers) {
    const std::vector<fs::path> copies = programs_on_path(command);
    if (copies.empty()) continue;
    std::error_code ignored;
    const fs::path program = fs::canonical(copies.front(), ignored);
    if (std::ranges::find(programs, program) != programs.end() || is_esr_wrapper(program)) continue;
    programs.push_back(program);
    found.push_back({std::string(command), kind});
  }
  return found;
}

std::string extension_steps(BrowserKind kind, const std::string& command, const fs::path& folder,
                            const std::optional<fs::path>& package) {
  if (kind == BrowserKind::Chromium)
    return fmt::format(fmt::runtime(i18n::tr(kChromiumSteps)), command, friendly_folder(folder));
  if (!package) return fmt::format(fmt::runtime(i18n::tr(kNoPackage)), command);
  return fmt::format(fmt::runtime(i18n::tr(kind == BrowserKind::FirefoxUnsigned ? kUnsignedSteps : kReleaseSteps)),
                     command, friendly_folder(*package));
}

std::optional<std::string> missing_browser_program(const std::string& command) {
  const std::optional<LaunchCommand> launch = launch_command("", command);
  if (!launch || launch->argv.empty()) return std::nullopt;
  const std::string& program = launch->argv.front();
  if (program.find('/') != std::string::npos) {
    if (::access(program.c_str(), X_OK) == 0 && !std::filesystem::is_directory(program)) return std::nullopt;
  } else if (!programs_on_path(program).empty()) {
    return std::nullopt;
  }
  return program;
}
