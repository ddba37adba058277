// The session's link to ChatGPT's page: it opens the page once, then asks
// one job at a time. The product's link is the loopback bridge that the
// browser extension polls; tests stand in with one of their own.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "bridge/launcher.h"
#include "bridge/exchange.h"
#include "bridge/server.h"
#include "common/result.h"
#include "session/wait.h"

namespace wendlebox {

class PageLink {
 public:
  virtual ~PageLink() = default;
  // Opens `address` (a chat's address without fragment, or the new-chat
  // page) for this session, or with `launch` false only says how to open
  // it by hand; notices go to `out`.
  virtual Status open_page(const std::string& address, const Printer& out, bool launch) = 0;
  // Hands `job` to the page and waits for its result; a job the user
  // stopped (`interrupt`) is withdrawn. Progress notices go to `out`.
  virtual Result<JobResult, Stopped> ask(Job job, const std::atomic<bool>* interrupt, const Printer& out) = 0;
  // The extension's version as it last said it.
  virtual std::optional<std::string> extension_version() const = 0;
  // The browser the extension said it runs in ("firefox", "chromium").
  virtual std::optional<std::string> extension_browser() const { return std::nullopt; }
  // Whether open_page() started a browser on the page (not with --no-browser,
  // nor when the opener failed and the page was shown to open by hand).
  virtual bool launched() const { return true; }
  // The loopback port the page reaches the session on, once open.
  virtual std::optional<int> port() const { return std::nullopt; }
};

// The bridge on the first free port of `ports` (0 picks a free one, told to
// `listening`) and the page opened by `opener` with a fresh session token in
// its address, and the port when it is not the first of the product's.
// Its health check names `working_folder`.
class BridgedPageLink : public PageLink {
 public:
  // Starts the browser on a page or an address; `reader` is who reads a
  // page given to it (the browser that `open` starts).
  struct Opener {
    std::function<Status(const std::string& target)> open;
    PageReader reader{};
  };
  BridgedPageLink(PortRange ports, Opener opener, std::string extension_folder,
                  std::function<void(int port)> listening = [](int) {}, WaitTimings timings = {},
                  std::string working_folder = {});
  ~BridgedPageLink() override;
  // When the browser cannot be opened (no opener over SSH, a minimal
  // machine), the address is shown to be opened by hand, and the session
  // waits for the extension as usual.
  Status open_page(const std::string& address, const Printer& out, bool launch) override;
  Result<JobResult, Stopped> ask(Job job, const std::atomic<bool>* interrupt, const Printer& out) override;
  std::optional<std::string> extension_version() const override { return exchange_->extension_version(); }
  std::optional<std::string> extension_browser() const override { return exchange_->extension_browser(); }
  bool launched() const override { return launched_; }
  std::optional<int> port() const override { return bridge_ ? std::optional<int>(bridge_->port()) : std::nullopt; }

 private:
  PortRange ports_;
  std::string working_folder_;
  Opener opener_;
  std::string extension_folder_;
  std::function<void(int)> listening_;
  WaitTimings timings_;
  std::shared_ptr<JobExchange> exchange_ = std::make_shared<JobExchange>();
  std::unique_ptr<BridgeThread> bridge_{};
  bool launched_ = false;
  std::string connect_help_{};  // what helps when the extension never connects
  std::optional<std::filesystem::path> forwarding_page_{};  // removed when the session ends
};

}  // namespace wendlebox
