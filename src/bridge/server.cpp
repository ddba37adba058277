#include "bridge/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <variant>

#include <fmt/format.h>

#include "common/text.h"

namespace {

constexpr std::size_t kChunk = 8192;
constexpr std::size_t kMaxBody = 2'000'000;
constexpr std::size_t kMaxHeaderSearch = kMaxBody + kChunk;

struct Response {
  int status;
  Json body;
};

Response error_response(int status, const char* message) { return {status, Json{{"error", message}}}; }

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

void reply(int stream, const Response& response) {
  const std::string body = response.status == 204 ? "" : compact_json(response.body);
  std::string bytes = fmt::format(
      "HTTP/1.1 {} {}\r\nContent-Type: application/json\r\nContent-Length: {}\r\nCache-Control: no-store\r\n"
      "Access-Control-Allow-Origin: *\r\nAccess-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
      "Access-Control-Allow-Headers: Content-Type\r\nConnection: close\r\n\r\n",
      response.status, reason_phrase(response.status), body.size());
  bytes += body;
  std::string_view rest = bytes;
  while (!rest.empty()) {
    const ssize_t n = ::send(stream, rest.data(), rest.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // the client went away; nothing to tell it
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
}

struct Request {
  std::string method;
  std::string target;
  std::string body;
};

// Appends one chunk; false when the read failed, timed out or the peer closed.
bool read_chunk(int stream, std::string& buffer) {
  char chunk[kChunk];
  for (;;) {
    const ssize_t n = ::recv(stream, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<std::size_t>(n));
    return true;
  }
}

std::uint64_t content_length(const std::vector<std::string_view>& header_lines) {
  for (std::size_t i = 1; i < header_lines.size(); ++i) {
    const std::string_view line = header_lines[i];
    const std::size_t colon = line.find(':');
    if (colon != 14 || ascii_lower(line.substr(0, 14)) != "content-length") continue;
    unsigned long long value = 0;
    return parse_unsigned(trim(line.substr(colon + 1)), value) ? value : 0;
  }
  return 0;
}

std::vector<std::string> words_of(std::string_view line) {
  std::vector<std::string> words;
  std::size_t pos = 0;
  while (pos < line.size()) {
    const std::size_t start = skip_spaces(line, pos);
    const std::size_t end = skip_word(line, start);
    if (end > start) words.emplace_back(line.substr(start, end - start));
    pos = end;
  }
  return words;
}

// Reads one request; monostate means drop the connection without an answer,
// a Response means answer it at once.
std::variant<std::monostate, Response, Request> read_request(int stream) {
  std::string buffer;
  std::size_t header_end = std::string::npos;
  while (header_end == std::string::npos) {
    const std::size_t searched = buffer.size();
    if (!read_chunk(stream, buffer)) return std::monostate{};
    if (buffer.size() > kMaxHeaderSearch) return error_response(413, "Request too large");
    if (buffer.size() >= 4) header_end = buffer.find("\r\n\r\n", searched < 3 ? 0 : searched - 3);
  }
  const std::size_t header_size = header_end + 4;
  const std::string header = lossy_utf8(std::string_view(buffer).substr(0, header_size));
  const std::vector<std::string_view> lines = split_lines(header);
  const std::vector<std::string> words = words_of(lines.empty() ? std::string_view() : lines[0]);
  if (words.size() < 2) return error_response(400, "Bad request");
  const std::uint64_t length = content_length(lines);
  if (length > kMaxBody) return error_response(413, "Request too large");
  while (buffer.size() < header_size + length)
    if (!read_chunk(stream, buffer)) return std::monostate{};
  return Request{words[0], words[1], buffer.substr(header_size, length)};
}

std::string_view presented_token(std::string_view target) {
  const std::size_t at = target.find("token=");
  if (at == std::string_view::npos) return {};
  std::string_view rest = target.substr(at + 6);
  return rest.substr(0, std::min(rest.find('&'), rest.find("token=")));
}

// Compares without an early exit so response timing does not leak a prefix.
bool same_token(std::string_view presented, std::string_view expected) {
  if (presented.size() != expected.size()) return false;
  unsigned char difference = 0;
  for (std::size_t i = 0; i < expected.size(); ++i)
    difference |= static_cast<unsigned char>(presented[i] ^ expected[i]);
  return difference == 0;
}

void answer_next(int stream, SharedBridge& shared) {
  std::unique_lock lock(shared.mutex);
  BridgeState& state = shared.state;
  state.connected = true;
  shared.changed.notify_all();
  if (state.job && !state.result)
    reply(stream, {200, job_json(*state.job)});
  else
    reply(stream, {204, {}});
}

void answer_result(int stream, SharedBridge& shared, std::string_view body) {
  auto result = decode_browser_result(body);
  if (!result) return reply(stream, error_response(400, "Invalid result"));
  std::unique_lock lock(shared.mutex);
  BridgeState& state = shared.state;
  if (state.job && state.job->id == result->id) {
    state.result = std::move(*result);
    shared.changed.notify_all();
    reply(stream, {200, Json{{"ok", true}}});
  } else if (state.answered_id == result->id) {
    reply(stream, {200, Json{{"duplicate", true}, {"ok", true}}});
  } else {
    reply(stream, error_response(409, "Old result"));
  }
}

void handle(int stream, SharedBridge& shared, const std::string& token) {
  auto read = read_request(stream);
  if (std::holds_alternative<std::monostate>(read)) return;
  if (auto* response = std::get_if<Response>(&read)) return reply(stream, *response);
  const Request& request = std::get<Request>(read);
  const std::string_view path = std::string_view(request.target).substr(0, request.target.find('?'));
  if (request.method == "GET" && path == "/health") return reply(stream, {200, Json{{"ok", true}}});
  if (!same_token(presented_token(request.target), token)) return reply(stream, error_response(403, "Invalid session"));
  if (request.method == "GET" && path == "/next") return answer_next(stream, shared);
  if (request.method == "POST" && path == "/result") return answer_result(stream, shared, request.body);
  if (request.method == "OPTIONS" && path == "/result") return reply(stream, {204, {}});
  reply(stream, error_response(404, "Unknown request"));
}

// Reads what the client already sent but the server did not need, so that
// closing does not reset the connection before the client reads the answer.
void discard_pending_input(int stream) {
  char buffer[kChunk];
  for (int i = 0; i < 64 && ::recv(stream, buffer, sizeof buffer, MSG_DONTWAIT) > 0; ++i) {
  }
}

}  // namespace

Result<int> bind_bridge_listener(int port) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) return os_failure();
  const int on = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 128) != 0) {
    ::close(listener);
    return failure(fmt::format("Another Wendlebox task is already using port {}. Finish it first.", port));
  }
  const int flags = ::fcntl(listener, F_GETFL);
  if (flags < 0 || ::fcntl(listener, F_SETFL, flags | O_NONBLOCK) != 0) {
    const int error = errno;
    ::close(listener);
    return os_failure(error);
  }
  return listener;
}

int bound_port(int listener) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  if (::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) return -1;
  return ntohs(address.sin_port);
}

void serve(int listener, std::shared_ptr<SharedBridge> shared, std::string token) {
  for (;;) {
    // Waiting in poll rather than sleeping lets an idle server answer at once.
    pollfd waiting{listener, POLLIN, 0};
    if (::poll(&waiting, 1, 40) < 0 && errno != EINTR) break;
    const int stream = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (stream < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED) continue;
      break;
    }
    const timeval five_seconds{5, 0};
    if (::setsockopt(stream, SOL_SOCKET, SO_RCVTIMEO, &five_seconds, sizeof five_seconds) == 0) {
      try {
        handle(stream, *shared, token);
      } catch (...) {
        // The state may be half changed: tell the session instead of
        // letting it trust what it reads.
        shared->poisoned = true;
        shared->changed.notify_all();
        ::close(stream);
        break;
      }
      discard_pending_input(stream);
    }
    ::close(stream);
  }
  ::close(listener);
}

Json job_json(const Job& job) {
  Json value{{"id", job.id}, {"prompt", job.prompt}};
  if (!job.attachments.empty()) {
    Json list = Json::array();
    for (const Attachment& a : job.attachments) list.push_back({{"base64", a.base64}, {"mime", a.mime}, {"name", a.name}});
    value["attachments"] = std::move(list);
  }
  return value;
}

Result<BrowserResult> decode_browser_result(std::string_view body) {
  return decode_object(body, [](const JsonFields& fields) -> Result<BrowserResult> {
    BrowserResult result;
    auto id = fields.required_unsigned("id");
    if (!id) return std::unexpected(id.error());
    result.id = *id;
    if (auto read = fields.read({{"text", &result.text}, {"url", &result.url}, {"error", &result.error}}); !read)
      return std::unexpected(read.error());
    return result;
  });
}
