#include "frontend/doctor.h"
#include "common/printer.h"

#include <iostream>

#include "bridge/browser.h"
#include "common/folders.h"
#include "frontend/setup.h"
#include "git/git.h"
#include "common/text.h"
#include "i18n/i18n.h"
#include "state/settings.h"

namespace {

namespace fs = std::filesystem;

constexpr i18n::Text kExtensionFolderLabel{"Extension folder:", "Pasta da extensão:", "Carpeta de la extensión:"};
constexpr i18n::Text kExtensionVersion{"Extension version:", "Versão da extensão:", "Versión de la extensión:"};
constexpr i18n::Text kSeenInBrowser{"last seen in a browser:", "vista por último num navegador:",
                                    "vista por última vez en un navegador:"};
constexpr i18n::Text kNotSeenYet{"not seen yet", "ainda não vista", "aún no vista"};
constexpr i18n::Text kOpenerLabel{"Browser opener:", "Abridor de navegador:", "Abridor de navegador:"};
constexpr i18n::Text kNoOpener{"Browser opener: not found. Install xdg-open, gio, or sensible-browser.",
                               "Abridor de navegador: não encontrado. Instale xdg-open, gio ou sensible-browser.",
                               "Abridor de navegador: no encontrado. Instala xdg-open, gio o sensible-browser."};
constexpr i18n::Text kGitAvailable{"available", "disponível", "disponible"};
constexpr i18n::Text kGitMissing{"not found (commits will be skipped)", "não encontrado (os commits serão ignorados)",
                                 "no encontrado (se omitirán los commits)"};
constexpr i18n::Text kExtensionHint{"Extension: enable Wendlebox in the browser that opens ChatGPT.",
                                    "Extensão: ative o Wendlebox no navegador que abre o ChatGPT.",
                                    "Extensión: activa Wendlebox en el navegador que abre ChatGPT."};

}  // namespace

Status doctor() {
  auto running = running_executable();
  Printer::standard() << "CLI: " << (running ? running->string() : "unknown") << '\n';
  if (auto opener = browser_opener())
    Printer::standard() << i18n::tr(kOpenerLabel) << ' ' << *opener << '\n';
  else
    Printer::standard() << i18n::tr(kNoOpener) << '\n';
  const bool git_found = git_output(".", {"--version"}).has_value();
  Printer::standard() << "Git: " << i18n::tr(git_found ? kGitAvailable : kGitMissing) << '\n';
  const std::optional<fs::path> extension =
      fs::exists(installed_extension_folder() / "manifest.json") ? installed_extension_folder() : running_extension_folder();
  if (extension)
    Printer::standard() << i18n::tr(kExtensionFolderLabel) << ' ' << friendly_folder(*extension) << '\n'
              << i18n::tr(kExtensionVersion) << ' ' << one_line_text(extension_version(*extension).value_or("?"))
              << "; " << i18n::tr(kSeenInBrowser) << ' '
              << one_line_text(last_seen_extension_version().value_or(std::string(i18n::tr(kNotSeenYet)))) << '\n';
  Printer::standard() << i18n::tr(kExtensionHint) << '\n';
  return {};
}
