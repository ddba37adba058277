// Just enough HTTP/1.1 for the bridge: a request made out of the bytes
// received so far, and a JSON answer written in one go. Each connection
// carries one exchange and is then closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "common/json.h"

namespace wendlebox {

namespace http {

inline constexpr std::size_t kChunk = 8192;
inline constexpr std::size_t kMaxBody = 2'000'000;
// The end of the header is looked for this far at most: a header is small,
// and nothing is kept of a client before its header has been checked.
inline constexpr std::size_t kMaxHeaderSearch = 16 * 1024;

struct Response {
  int status;
  Json body;
};

Response error_response(int status, const char* message);

// The bytes of the answer's body: compact JSON, none for 204.
std::string body_of(const Response& response);

// The whole answer as bytes to send; the browser extension's
// `extension_origin` is echoed so that it, and only it, may read the answer
// across origins, and `signature`, when given, is sent as
// X-Wendlebox-Signature.
std::string response_bytes(const Response& response, std::string_view extension_origin = {},
                           std::string_view signature = {});

struct Request {
  std::string method;
  std::string target;
  std::string body;
  std::optional<std::string> host;
  std::optional<std::string> origin;
  std::optional<std::string> extension_version;
  std::optional<std::string> extension_browser;  // "firefox" or "chromium", as the extension says
  // The extension signs each request over a nonce, and names the pairing
  // key it signed with by its identifier.
  std::optional<std::string> nonce;
  std::optional<std::string> signature;
  std::optional<std::string> pairing;
};

struct NeedMore {};
using Parsed = std::variant<NeedMore, Response, Request>;

// A whole header block: the request without its body, the header's size
// and the body's announced length.
struct Head {
  Request request;
  std::size_t size;
  std::uint64_t length;
};

// What the bytes received so far make of the header: not yet one, an
// answer to give at once (an error), or a whole header.
std::variant<NeedMore, Response, Head> parse_head(const std::string& buffer, std::size_t& searched);

// What the bytes received so far make: not yet a request, an answer to give
// at once (an error), or a whole request. `searched` remembers how far the
// search for the header's end went, so each call looks only at new bytes.
Parsed parse_request(const std::string& buffer, std::size_t& searched);

}  // namespace http

}  // namespace wendlebox
