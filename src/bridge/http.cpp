#include "bridge/http.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include <fmt/format.h>

#include "common/text.h"

namespace wendlebox {

namespace http {

namespace {

const char* reason_phrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 409: return "Conflict";
    default: return "Error";
  }
}

// The value of the header `name` (matched without regard to case, no blank
// before the colon), or nullopt.
std::optional<std::string> header_value(const std::vector<std::string_view>& header_lines, std::string_view name) {
  for (std::size_t i = 1; i < header_lines.size(); ++i) {
    const std::string_view line = header_lines[i];
    const std::size_t colon = line.find(':');
    if (colon != name.size() || ascii_lower(line.substr(0, colon)) != name) continue;
    return std::string(trim(line.substr(colon + 1)));
  }
  return std::nullopt;
}

std::uint64_t content_length(const std::vector<std::string_view>& header_lines) {
  unsigned long long value = 0;
  auto text = header_value(header_lines, "content-length");
  return text && parse_unsigned(*text, value) ? value : 0;
}

std::vector<std::string> words_of(std::string_view line) {
  std::vector<std::string> words;
  for (std::size_t pos = skip_spaces(line, 0); pos < line.size(); pos = skip_spaces(line, pos)) {
    const std::size_t end = skip_word(line, pos);
    words.emplace_back(line.substr(pos, end - pos));
    pos = end;
  }
  return words;
}

}  // namespace

Response error_response(int status, const char* message) { return {status, Json{{"error", message}}}; }

std::string body_of(const Response& response) { return response.status == 204 ? "" : compact_json(response.body); }

std::string response_bytes(const Response& response, std::string_view extension_origin, std::string_view signature) {
  const std::string body = body_of(response);
  std::string allow_origin =
      extension_origin.empty() ? "" : fmt::format("Access-Control-Allow-Origin: {}\r\nVary: Origin\r\n", extension_origin);
  if (!signature.empty()) allow_origin += fmt::format("X-Wendlebox-Signature: {}\r\n", signature);
  return fmt::format(
             "HTTP/1.1 {} {}\r\nContent-Type: application/json\r\nContent-Length: {}\r\nCache-Control: no-store\r\n"
             "{}Access-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
             "Access-Control-Allow-Headers: Content-Type\r\nConnection: close\r\n\r\n",
             response.status, reason_phrase(response.status), body.size(), allow_origin) +
         body;
}

std::variant<NeedMore, Response, Head> parse_head(const std::string& buffer, std::size_t& searched) {
  std::size_t header_end = std::string::npos;
  if (buffer.size() >= 4) header_end = buffer.find("\r\n\r\n", searched < 3 ? 0 : searched - 3);
  searched = buffer.size();
  if (header_end == std::string::npos || header_end + 4 > kMaxHeaderSearch)
    return buffer.size() > kMaxHeaderSearch ? std::variant<NeedMore, Response, Head>(error_response(413, "Request too large"))
                                            : NeedMore{};
  searched = header_end;  // found: later calls find it again at once
  const std::size_t header_size = header_end + 4;
  const std::string header = lossy_utf8(std::string_view(buffer).substr(0, header_size));
  const std::vector<std::string_view> lines = split_lines(header);
  const std::vector<std::string> words = words_of(lines.empty() ? std::string_view() : lines[0]);
  if (words.size() < 2) return error_response(400, "Bad request");
  const std::uint64_t length = content_length(lines);
  if (length > kMaxBody) return error_response(413, "Request too large");
  return Head{Request{words[0], words[1], "", header_value(lines, "host"), header_value(lines, "origin"),
                      header_value(lines, "x-wendlebox-extension"), header_value(lines, "x-wendlebox-browser"),
                      header_value(lines, "x-wendlebox-nonce"),
                      header_value(lines, "x-wendlebox-signature"), header_value(lines, "x-wendlebox-pairing")},
              header_size, length};
}

Parsed parse_request(const std::string& buffer, std::size_t& searched) {
  auto head = parse_head(buffer, searched);
  if (auto* error = std::get_if<Response>(&head)) return *error;
  if (std::holds_alternative<NeedMore>(head)) return NeedMore{};
  Head& whole = std::get<Head>(head);
  if (buffer.size() < whole.size + whole.length) return NeedMore{};
  whole.request.body = buffer.substr(whole.size, whole.length);
  return std::move(whole.request);
}

}  // namespace http

}  // namespace wendlebox
