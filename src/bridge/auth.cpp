#include "bridge/auth.h"

#include <fmt/format.h>

#include "bridge/token.h"

namespace wendlebox {

namespace {

using http::error_response;
using http::Request;

// The nonces of this session's signed requests are kept so that none is
// taken twice; past this many, the oldest go first.
constexpr std::size_t kKeptNonces = 100'000;

bool is_lower_hex(std::string_view text, std::size_t least, std::size_t most) {
  return text.size() >= least && text.size() <= most &&
         text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

bool is_nonce(const std::optional<std::string>& nonce) { return nonce && is_lower_hex(*nonce, 32, 128); }

// Compares without an early exit so response timing does not leak a prefix.
bool same_text(std::string_view presented, std::string_view expected) {
  if (presented.size() != expected.size()) return false;
  unsigned char difference = 0;
  for (std::size_t i = 0; i < expected.size(); ++i)
    difference |= static_cast<unsigned char>(presented[i] ^ expected[i]);
  return difference == 0;
}

bool is_extension_origin(std::string_view origin) {
  return origin.starts_with("chrome-extension://") || origin.starts_with("moz-extension://") ||
         origin.starts_with("safari-web-extension://");
}

bool is_open(const Request& request) {
  const std::string_view path = std::string_view(request.target).substr(0, request.target.find('?'));
  return request.method == "GET" && path == "/health";
}

bool carries_signature(const Request& request) { return is_nonce(request.nonce) && request.signature; }

std::string request_signature(const std::string& key, const Request& request) {
  return hmac_hex(key, fmt::format("request\n{}\n{}\n{}\n{}", request.nonce.value_or(""), request.method,
                                   request.target, request.body));
}

Refused invalid_session() { return Refused{error_response(403, "Invalid session"), true}; }

}  // namespace

BridgeKeys bridge_keys(std::string_view pairing_key, std::string_view token) {
  return BridgeKeys{session_key(pairing_key, token), pairing_id(pairing_key)};
}

CallerCheck::CallerCheck(int port, BridgeKeys keys, JobExchange& exchange)
    : port_(port), keys_(std::move(keys)), exchange_(exchange) {}

Verdict CallerCheck::head(const Request& request) {
  // A page on another site may make the browser send requests here, and a
  // DNS name re-pointed at 127.0.0.1 may too: their Host or Origin gives
  // them away. Clients that send neither (local tools, tests) go on.
  if (request.host && *request.host != fmt::format("127.0.0.1:{}", port_) &&
      *request.host != fmt::format("localhost:{}", port_))
    return Refused{error_response(403, "Invalid host"), false};
  if (request.origin && !is_extension_origin(*request.origin)) return Refused{error_response(403, "Invalid origin"), false};
  if (is_open(request)) return Admitted{};
  if (!carries_signature(request) || keys_.session_key.empty()) return invalid_session();
  // Signed under another pairing key: nothing here can check that
  // signature, and the same answer goes to whoever names a key that is not
  // this program's, so all it tells is that one fact.
  if (request.pairing && is_lower_hex(*request.pairing, kPairingIdSize, kPairingIdSize) && !keys_.pairing_id.empty() &&
      *request.pairing != keys_.pairing_id) {
    exchange_.pairing_mismatch();
    return Refused{error_response(403, "Pairing mismatch"), true};
  }
  return Admitted{*request.nonce};
}

Verdict CallerCheck::whole(const Request& request) {
  Verdict verdict = head(request);
  const auto* admitted = std::get_if<Admitted>(&verdict);
  if (!admitted || admitted->nonce.empty()) return verdict;
  if (!same_text(*request.signature, request_signature(keys_.session_key, request))) return invalid_session();
  // A signature counts once: a request seen on its way cannot be replayed.
  if (!seen_nonces_.insert(admitted->nonce).second) return invalid_session();
  nonce_order_.push_back(admitted->nonce);
  if (nonce_order_.size() > kKeptNonces) {
    seen_nonces_.erase(nonce_order_.front());
    nonce_order_.pop_front();
  }
  return verdict;
}

std::string CallerCheck::answer_signature(std::string_view nonce, const http::Response& response) const {
  return hmac_hex(keys_.session_key, fmt::format("answer\n{}\n{}\n{}", nonce, response.status, http::body_of(response)));
}

}  // namespace wendlebox
