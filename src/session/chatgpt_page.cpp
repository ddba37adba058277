#include "session/chatgpt_page.h"

#include <fmt/format.h>

#include "bridge/browser.h"
#include "bridge/token.h"
#include "common/env.h"
#include "common/files.h"
#include "common/json.h"
#include "common/random.h"
#include "state/app_dirs.h"
#include "state/settings.h"
#include "i18n/i18n.h"

namespace {

constexpr i18n::Text kOpened{"Opened:", "Aberto:", "Abierto:"};
constexpr i18n::Text kExtensionFolder{"Extension folder to load:", "Pasta da extensão a carregar:",
                                      "Carpeta de la extensión a cargar:"};
constexpr i18n::Text kNotLaunching{"Not opening the browser (--no-browser).", "O navegador não será aberto (--no-browser).",
                                   "No se abrirá el navegador (--no-browser)."};
constexpr i18n::Text kOpenPageByHand{
    "Open this page in the browser where the extension is installed (a private file that forwards to ChatGPT with "
    "this session's key):",
    "Abra esta página no navegador em que a extensão está instalada (um arquivo privado que leva ao ChatGPT com a "
    "chave desta sessão):",
    "Abre esta página en el navegador donde está instalada la extensión (un archivo privado que lleva a ChatGPT con "
    "la clave de esta sesión):"};
constexpr i18n::Text kOpenByHand{
    "Open this address in the browser where the extension is installed (it holds this session's key: do not show it "
    "to others):",
    "Abra este endereço no navegador em que a extensão está instalada (ele contém a chave desta sessão: não o mostre a "
    "ninguém):",
    "Abre esta dirección en el navegador donde está instalada la extensión (contiene la clave de esta sesión: no la "
    "muestres a nadie):"};
constexpr i18n::Text kRunDoctor{"Run wendlebox doctor.", "Execute wendlebox doctor.", "Ejecuta wendlebox doctor."};

// The address that was opened (without the token), the extension folder to
// load, and where to look next.
std::string connect_help(const std::string& address, const std::string& extension_folder) {
  std::string help = fmt::format("\n{} {}", i18n::tr(kOpened), address);
  if (!extension_folder.empty()) help += fmt::format("\n{} {}", i18n::tr(kExtensionFolder), extension_folder);
  return help + "\n" + std::string(i18n::tr(kRunDoctor));
}

// Where the forwarding page goes: the user's runtime folder (private, and
// emptied at logout), else the program's private data folder.
std::filesystem::path forwarding_folder() {
  if (auto runtime = process_env("XDG_RUNTIME_DIR"); runtime && std::filesystem::path(*runtime).is_absolute() &&
                                                      is_dir(*runtime))
    return *runtime;
  return data_dir();
}

std::string html_escaped(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '&') escaped += "&amp;";
    else if (c == '"') escaped += "&quot;";
    else if (c == '<') escaped += "&lt;";
    else escaped += c;
  }
  return escaped;
}

// A private page (mode 0600) that sends the browser on to `launch`: the
// browser is started on this file, so the token is not in its command line,
// where every user of the machine can read it (/proc/<pid>/cmdline).
Result<std::filesystem::path> write_forwarding_page(const std::string& launch) {
  auto name = random_hex(8);
  if (!name) return std::unexpected(name.error());
  const std::filesystem::path page = forwarding_folder() / fmt::format("wendlebox-open-{}.html", *name);
  const std::string address = html_escaped(launch);
  const std::string html = fmt::format(
      "<!doctype html><html><head><meta charset=\"utf-8\"><meta name=\"referrer\" content=\"no-referrer\">"
      "<meta http-equiv=\"refresh\" content=\"0;url={0}\"><title>Wendlebox</title></head><body>"
      "<script>location.replace({1});</script><a href=\"{0}\">Open ChatGPT</a></body></html>\n",
      address, Json(launch).dump());
  if (auto written = write_file_whole(page, html); !written) return std::unexpected(written.error());
  return page;
}

}  // namespace

BridgeBrowser::~BridgeBrowser() {
  if (forwarding_page_) {
    std::error_code ignored;
    std::filesystem::remove(*forwarding_page_, ignored);
  }
}

BridgeBrowser::BridgeBrowser(int port, Opener opener, std::string extension_folder,
                             std::function<void(int port)> listening)
    : port_(port), opener_(std::move(opener)), extension_folder_(std::move(extension_folder)),
      listening_(std::move(listening)) {}

Status BridgeBrowser::open(const std::string& address, const Printer& out, bool launch) {
  auto session_token = token();
  if (!session_token) return std::unexpected(session_token.error());
  auto bridge = BridgeThread::start(port_, exchange_, *session_token);
  if (!bridge) return std::unexpected(bridge.error());
  bridge_ = std::move(*bridge);
  listening_(bridge_->port());
  // The token reaches the extension only in the address's fragment. Under
  // WSL the Windows browser cannot read a Linux file, and a snap browser
  // cannot read private folders: those get the address itself.
  const std::string address_with_key = address + "#wendlebox=" + *session_token;
  if (!is_wsl() && !default_browser_is_snap())
    if (auto page = write_forwarding_page(address_with_key)) forwarding_page_ = *page;
  const Status opened = launch ? opener_(forwarding_page_ ? forwarding_page_->string() : address_with_key)
                                : failure(std::string(i18n::tr(kNotLaunching)));
  if (!opened) {
    // By hand the private page is safer to show than the address: anyone who
    // sees the address can act as this session's extension.
    const std::string how = forwarding_page_ ? fmt::format("{}\n{}", i18n::tr(kOpenPageByHand), forwarding_page_->string())
                                             : fmt::format("{} {}", i18n::tr(kOpenByHand), address_with_key);
    out.line("33", fmt::format("{}\n{}", opened.error(), how));
  }
  connect_help_ = connect_help(address, extension_folder_);
  return {};
}

std::expected<BrowserResult, Stopped> BridgeBrowser::ask(Job job, const std::atomic<bool>* interrupt,
                                                         const Printer& out) {
  return publish_and_wait_for_result(*exchange_, std::move(job), connect_help_,
                                     WaitTimings{.patient = out.redraws_lines()}, interrupt, out);
}
