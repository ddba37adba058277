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
#include "session/messages.h"

namespace wendlebox {

namespace {

using namespace messages::session;

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
  if (!page && launch) out.line(Colour::warning, fmt::format(fmt::runtime(i18n::tr(kKeyOnCommandLine)), page.error()));
  const Status opened = launch ? opener_.open(forwarding_page_ ? forwarding_page_->string() : address_with_key)
                                : failure(std::string(i18n::tr(kNotLaunching)));
  if (!opened) {
    // By hand the private page is safer to show than the address: anyone who
    // sees the address can act as this session's extension.
    const std::string how = forwarding_page_ ? fmt::format("{}\n{}", i18n::tr(kOpenPageByHand), forwarding_page_->string())
                                             : fmt::format("{} {}", i18n::tr(kOpenByHand), address_with_key);
    out.line(Colour::warning, fmt::format("{}\n{}", opened.error(), how));
  }
  launched_ = opened.has_value();
  connect_help_ = connect_help(address, launched_, extension_folder_);
  return {};
}

Result<JobResult, Stopped> BridgedPageLink::ask(Job job, const std::atomic<bool>* interrupt,
                                                       const Printer& out) {
  WaitTimings timings = timings_;
  timings.patient = out.redraws_lines();
  return publish_and_wait_for_result(*exchange_, std::move(job), WaitHelp{connect_help_, extension_folder_}, timings,
                                     interrupt, out);
}

}  // namespace wendlebox
