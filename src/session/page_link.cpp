#include "session/page_link.h"

#include <fmt/format.h>

#include "bridge/launcher.h"
#include "bridge/pairing.h"
#include "bridge/token.h"
#include "common/env.h"
#include "common/files.h"
#include "session/forwarding_page.h"
#include "state/app_dirs.h"
#include "state/settings.h"
#include "i18n/i18n.h"

namespace {

constexpr i18n::Text kOpened{"Opened:", "Aberto:", "Abierto:"};
constexpr i18n::Text kNotOpened{"The browser was not opened: open the page shown above by hand.",
                                 "O navegador não foi aberto: abra à mão a página indicada acima.",
                                 "No se abrió el navegador: abre a mano la página indicada arriba."};
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
constexpr i18n::Text kKeyOnCommandLine{
    "Warning: this session's key is on the browser's command line, where other users of this computer can read it "
    "and act as your browser, because {}.",
    "Aviso: a chave desta sessão está na linha de comando do navegador, onde outros usuários deste computador podem "
    "lê-la e agir como o seu navegador, porque {}.",
    "Aviso: la clave de esta sesión está en la línea de comandos del navegador, donde otros usuarios de este equipo "
    "pueden leerla y actuar como tu navegador, porque {}."};
constexpr i18n::Text kRunDoctor{"Run wendlebox doctor.", "Execute wendlebox doctor.", "Ejecuta wendlebox doctor."};

// The address that was opened (without the token), or that it was not, the
// extension folder to load, and where to look next.
std::string connect_help(const std::string& address, bool launched, const std::string& extension_folder) {
  std::string help = launched ? fmt::format("\n{} {}", i18n::tr(kOpened), address) : fmt::format("\n{}", i18n::tr(kNotOpened));
  if (!extension_folder.empty()) help += fmt::format("\n{} {}", i18n::tr(kExtensionFolder), extension_folder);
  return help + "\n" + std::string(i18n::tr(kRunDoctor));
}

}  // namespace

BridgedPageLink::~BridgedPageLink() {
  if (forwarding_page_) {
    std::error_code ignored;
    std::filesystem::remove(*forwarding_page_, ignored);
  }
}

BridgedPageLink::BridgedPageLink(PortRange ports, Opener opener, std::string extension_folder,
                                 std::function<void(int port)> listening, WaitTimings timings,
                                 std::string working_folder)
    : ports_(ports), working_folder_(std::move(working_folder)), opener_(std::move(opener)),
      extension_folder_(std::move(extension_folder)), listening_(std::move(listening)), timings_(timings) {}

Status BridgedPageLink::open_page(const std::string& address, const Printer& out, bool launch) {
  auto session_token = token();
  if (!session_token) return std::unexpected(session_token.error());
  auto pairing = pairing_key();
  if (!pairing) return std::unexpected(pairing.error());
  auto bridge = BridgeThread::start(ports_, exchange_, bridge_keys(*pairing, *session_token), working_folder_);
  if (!bridge) return std::unexpected(bridge.error());
  bridge_ = std::move(*bridge);
  listening_(bridge_->port());
  // The token reaches the extension only in the address's fragment, and
  // the browser is started on a private page that forwards to it. Where no
  // such page can be made for the browser, the address goes on its command
  // line only with the user told so, and why. The extension looks for the
  // session on the first port unless the address names another.
  std::string address_with_key = address + "#wendlebox=" + *session_token;
  if (bridge_->port() != kBridgePort) address_with_key += fmt::format("&port={}", bridge_->port());
  auto page = write_forwarding_page(opener_.reader, address_with_key);
  if (page) forwarding_page_ = *page;
  if (!page && launch) out.line("33", fmt::format(fmt::runtime(i18n::tr(kKeyOnCommandLine)), page.error()));
  const Status opened = launch ? opener_.open(forwarding_page_ ? forwarding_page_->string() : address_with_key)
                                : failure(std::string(i18n::tr(kNotLaunching)));
  if (!opened) {
    // By hand the private page is safer to show than the address: anyone who
    // sees the address can act as this session's extension.
    const std::string how = forwarding_page_ ? fmt::format("{}\n{}", i18n::tr(kOpenPageByHand), forwarding_page_->string())
                                             : fmt::format("{} {}", i18n::tr(kOpenByHand), address_with_key);
    out.line("33", fmt::format("{}\n{}", opened.error(), how));
  }
  launched_ = opened.has_value();
  connect_help_ = connect_help(address, launched_, extension_folder_);
  return {};
}

std::expected<JobResult, Stopped> BridgedPageLink::ask(Job job, const std::atomic<bool>* interrupt,
                                                       const Printer& out) {
  WaitTimings timings = timings_;
  timings.patient = out.redraws_lines();
  return publish_and_wait_for_result(*exchange_, std::move(job), WaitHelp{connect_help_, extension_folder_}, timings,
                                     interrupt, out);
}
