// A test client that plays the browser extension against the bridge over a
// real loopback socket.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "bridge/server.h"

struct HttpReply {
  bool answered = false;  // false when the server closed without a response
  int status = 0;
  std::string head;  // status line and headers, up to the blank line
  std::string body;
};

// Sends `raw` as is to the bridge on `port` and reads until the server
// closes the connection.
HttpReply http_exchange(const std::string& raw, int port = kBridgePort);
HttpReply http_get(const std::string& target, int port = kBridgePort);
HttpReply http_post(const std::string& target, const std::string& body, int port = kBridgePort);

// Plays the extension over the bridge (a token and a port), or straight on
// a session's job exchange in memory.
class FakeExtension {
 public:
  explicit FakeExtension(std::string token, int port = kBridgePort) : token_(std::move(token)), port_(port) {}
  explicit FakeExtension(std::shared_ptr<JobExchange> exchange) : exchange_(std::move(exchange)) {}
  // Polls then say this extension version, as the real extension does.
  void set_version(std::string version) { version_ = std::move(version); }
  // Polls /next until a job arrives or the deadline passes.
  std::optional<nlohmann::json> next_job(std::chrono::milliseconds limit = std::chrono::seconds(30));
  HttpReply post_result(const nlohmann::json& result);
  // Answers the next job with `text` (and `url` when given); returns the job.
  nlohmann::json answer(const std::string& text, const std::optional<std::string>& url = std::nullopt);

 private:
  std::string token_;
  int port_ = 0;
  std::shared_ptr<JobExchange> exchange_;
  std::optional<std::string> version_;
};

// The token of a launch URL "…#wendlebox=<token>".
std::string token_of_url(const std::string& url);
