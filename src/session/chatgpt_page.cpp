#include "session/chatgpt_page.h"

#include <fmt/format.h>

#include "bridge/token.h"
#include "i18n/i18n.h"

namespace {

constexpr i18n::Text kOpened{"Opened:", "Aberto:", "Abierto:"};
constexpr i18n::Text kExtensionFolder{"Extension folder to load:", "Pasta da extensão a carregar:",
                                      "Carpeta de la extensión a cargar:"};
constexpr i18n::Text kRunDoctor{"Run wendlebox doctor.", "Execute wendlebox doctor.", "Ejecuta wendlebox doctor."};

// The address that was opened (without the token), the extension folder to
// load, and where to look next.
std::string connect_help(const std::string& address, const std::string& extension_folder) {
  std::string help = fmt::format("\n{} {}", i18n::tr(kOpened), address);
  if (!extension_folder.empty()) help += fmt::format("\n{} {}", i18n::tr(kExtensionFolder), extension_folder);
  return help + "\n" + std::string(i18n::tr(kRunDoctor));
}

}  // namespace

BridgeBrowser::BridgeBrowser(int port, Opener opener, std::string extension_folder,
                             std::function<void(int port)> listening)
    : port_(port), opener_(std::move(opener)), extension_folder_(std::move(extension_folder)),
      listening_(std::move(listening)) {}

Status BridgeBrowser::open(const std::string& address) {
  auto session_token = token();
  if (!session_token) return std::unexpected(session_token.error());
  auto bridge = BridgeThread::start(port_, exchange_, *session_token);
  if (!bridge) return std::unexpected(bridge.error());
  bridge_ = std::move(*bridge);
  listening_(bridge_->port());
  // The token reaches the extension only in the address's fragment.
  if (auto opened = opener_(address + "#wendlebox=" + *session_token); !opened) return opened;
  connect_help_ = connect_help(address, extension_folder_);
  return {};
}

std::expected<BrowserResult, Stopped> BridgeBrowser::ask(Job job, const std::atomic<bool>* interrupt,
                                                         std::ostream& out) {
  exchange_->publish(std::move(job));
  auto result = wait_for_result(*exchange_, connect_help_, {}, interrupt, out);
  // Withdrawn: polls see no job, and a late answer counts as already taken.
  if (!result && result.error().reason == StopReason::Interrupted) exchange_->withdraw();
  return result;
}
