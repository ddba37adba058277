// A test client that plays the browser extension against the bridge over a
// real loopback socket.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "bridge/server.h"

namespace wendlebox {

struct HttpReply {
  bool answered = false;  // false when the server closed without a response
  int status = 0;
  std::string head;  // status line and headers, up to the blank line
  std::string body;
  bool signed_answer = false;  // signed over the request's nonce with the session's key
};

// Sends `raw` as is to the bridge on `port` and reads until the server
// closes the connection.
HttpReply http_exchange(const std::string& raw, int port = kBridgePort);
HttpReply http_get(const std::string& target, int port = kBridgePort);
HttpReply http_post(const std::string& target, const std::string& body, int port = kBridgePort);

// Plays the extension over the bridge, signing every request as the
// extension does with the session's key, made from the page's token and
// the pairing key that setup gave the extension; or straight on a session's
// job exchange in memory.
class FakeExtension {
 public:
  FakeExtension(const std::string& token, const std::string& pairing_key, int port = kBridgePort);
  explicit FakeExtension(std::shared_ptr<JobExchange> exchange) : exchange_(std::move(exchange)) {}
  // Polls then say this extension version, as the real extension does.
  void set_version(std::string version) { version_ = std::move(version); }
  // One signed request over the bridge, with a fresh nonce.
  HttpReply request(const std::string& method, const std::string& target, const std::string& body = {});
  // The bytes of such a request, signed over `nonce`.
  std::string request_bytes(const std::string& method, const std::string& target, const std::string& body,
                            const std::string& nonce) const;
  // Polls /next until a job arrives or the deadline passes.
  std::optional<nlohmann::json> next_job(std::chrono::milliseconds limit = std::chrono::seconds(30));
  HttpReply post_result(const nlohmann::json& result);
  // Answers the next job with `text` (and `url` when given); returns the job.
  nlohmann::json answer(const std::string& text, const std::optional<std::string>& url = std::nullopt);

 private:
  BridgeKeys keys_{};
  int port_ = 0;
  std::shared_ptr<JobExchange> exchange_;
  std::optional<std::string> version_;
};

// The token of a launch URL "…#wendlebox=<token>".
std::string token_of_url(const std::string& url);

// The port of a launch URL: the one after the token ("&port=<port>"), else
// the first bridge port.
int port_of_url(const std::string& url);

// The pairing key of the program run with `home` as its home, as setup
// gives it to the extension; waits for the program to have made it.
std::string pairing_key_in(const std::filesystem::path& home);

}  // namespace wendlebox
