#include "bridge/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <system_error>
#include <variant>

#include <fmt/format.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "bridge/http.h"
#include "common/files.h"
#include "common/text.h"

namespace {

using http::error_response;
using http::kChunk;
using http::Request;
using http::Response;

// The whole request must arrive within this time; a client that sends
// slowly or not at all is dropped without an answer.
constexpr int kRequestSeconds = 5;
// Connections waiting for their request; beyond this, the oldest is dropped.
constexpr std::size_t kMaxConnections = 64;

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

bool is_extension_origin(std::string_view origin) {
  return origin.starts_with("chrome-extension://") || origin.starts_with("moz-extension://") ||
         origin.starts_with("safari-web-extension://");
}

// A page on another site may make the browser send requests here, and a
// DNS name re-pointed at 127.0.0.1 may too: their Host or Origin gives them
// away. Clients that send neither (local tools, tests) are let in.
std::optional<Response> refused_caller(const Request& request, int port) {
  if (request.host && *request.host != fmt::format("127.0.0.1:{}", port) &&
      *request.host != fmt::format("localhost:{}", port))
    return error_response(403, "Invalid host");
  if (request.origin && !is_extension_origin(*request.origin)) return error_response(403, "Invalid origin");
  return std::nullopt;
}

struct Caller {
  int stream;
  std::string origin;  // echoed in the answer when it is the extension's
  void answer(const Response& response) const { http::write_response(stream, response, origin); }
};

void answer_next(const Caller& caller, SharedBridge& shared, const std::optional<std::string>& extension_version) {
  std::unique_lock lock(shared.mutex);
  BridgeState& state = shared.state;
  state.connected = true;
  if (extension_version) state.extension_version = extension_version->substr(0, 32);
  shared.changed.notify_all();
  if (state.job && !state.result)
    caller.answer({200, job_json(*state.job)});
  else
    caller.answer({204, {}});
}

void answer_result(const Caller& caller, SharedBridge& shared, std::string_view body) {
  auto result = decode_browser_result(body);
  if (!result) return caller.answer(error_response(400, "Invalid result"));
  std::unique_lock lock(shared.mutex);
  BridgeState& state = shared.state;
  if (state.job && state.job->id == result->id) {
    state.result = std::move(*result);
    shared.changed.notify_all();
    caller.answer({200, Json{{"ok", true}}});
  } else if (state.answered_id == result->id) {
    caller.answer({200, Json{{"duplicate", true}, {"ok", true}}});
  } else {
    caller.answer(error_response(409, "Old result"));
  }
}

bool is_challenge(std::string_view text) {
  return text.size() >= 32 && text.size() <= 128 &&
         text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// The extension asks this before it hands over the token: only the program
// that made the token can answer its challenge, so a process squatting on
// the port learns nothing.
Response prove_token(std::string_view target, const std::string& token) {
  const std::size_t at = target.find("challenge=");
  const std::string_view challenge = at == std::string_view::npos ? "" : target.substr(at + 10, target.find('&', at) - at - 10);
  if (!is_challenge(challenge)) return error_response(400, "Bad request");
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (HMAC(EVP_sha256(), token.data(), static_cast<int>(token.size()), reinterpret_cast<const unsigned char*>(challenge.data()),
           challenge.size(), digest, &size) == nullptr)
    return error_response(500, "Could not answer the challenge");
  std::string proof;
  for (unsigned int i = 0; i < size; ++i) proof += fmt::format("{:02x}", digest[i]);
  return {200, Json{{"proof", proof}}};
}

void handle(int stream, const Request& request, SharedBridge& shared, const std::string& token, int port) {
  if (auto refused = refused_caller(request, port)) return http::write_response(stream, *refused);
  const Caller caller{stream, request.origin.value_or("")};
  const std::string_view path = std::string_view(request.target).substr(0, request.target.find('?'));
  if (request.method == "GET" && path == "/health") return caller.answer({200, Json{{"ok", true}}});
  if (request.method == "GET" && path == "/hello") return caller.answer(prove_token(request.target, token));
  if (!same_token(presented_token(request.target), token)) return caller.answer(error_response(403, "Invalid session"));
  if (request.method == "GET" && path == "/next") return answer_next(caller, shared, request.extension_version);
  if (request.method == "POST" && path == "/result") return answer_result(caller, shared, request.body);
  if (request.method == "OPTIONS" && path == "/result") return caller.answer({204, {}});
  caller.answer(error_response(404, "Unknown request"));
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

namespace {

// A connection whose request is still arriving.
struct Connection {
  UniqueFd stream;
  std::chrono::steady_clock::time_point deadline;
  std::string buffer{};
  std::size_t searched = 0;
};

// Reads what has arrived; false when the peer closed or the read failed.
bool receive(Connection& connection) {
  char chunk[kChunk];
  for (;;) {
    const ssize_t n = ::recv(connection.stream.get(), chunk, sizeof chunk, MSG_DONTWAIT);
    if (n > 0) {
      connection.buffer.append(chunk, static_cast<std::size_t>(n));
      if (connection.buffer.size() > http::kMaxHeaderSearch + kChunk) return true;  // parse_request will refuse it
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
}

// Answers are written in one go, with a time limit of their own.
void answer(Connection& connection, const http::Parsed& parsed, SharedBridge& shared,
            const std::string& token, int port) {
  const int stream = connection.stream.get();
  const int flags = ::fcntl(stream, F_GETFL);
  ::fcntl(stream, F_SETFL, flags & ~O_NONBLOCK);
  const timeval limit{kRequestSeconds, 0};
  ::setsockopt(stream, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  if (const auto* response = std::get_if<Response>(&parsed))
    http::write_response(stream, *response);
  else
    handle(stream, std::get<Request>(parsed), shared, token, port);
  discard_pending_input(stream);
}

// Reads what arrived and answers once the request is whole; true when the
// connection is done with (answered, or its peer went away).
bool advance(Connection& connection, SharedBridge& shared, const std::string& token, int port) {
  if (!receive(connection)) return true;
  auto parsed = http::parse_request(connection.buffer, connection.searched);
  if (std::holds_alternative<http::NeedMore>(parsed)) return false;
  try {
    answer(connection, parsed, shared, token, port);
  } catch (...) {
    // The state may be half changed: tell the session instead of letting
    // it trust what it reads.
    shared.poisoned = true;
    shared.changed.notify_all();
  }
  return true;
}

}  // namespace

void serve(int listener, std::shared_ptr<SharedBridge> shared, std::string token) {
  using Clock = std::chrono::steady_clock;
  const int port = bound_port(listener);
  std::vector<Connection> open;  // oldest first
  std::vector<pollfd> waiting;
  for (;;) {
    waiting.assign(1, pollfd{listener, POLLIN, 0});
    Clock::time_point next_deadline = Clock::now() + std::chrono::seconds(kRequestSeconds);
    for (const Connection& connection : open) {
      waiting.push_back(pollfd{connection.stream.get(), POLLIN, 0});
      next_deadline = std::min(next_deadline, connection.deadline);
    }
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next_deadline - Clock::now()).count();
    if (::poll(waiting.data(), waiting.size(), static_cast<int>(std::max<long long>(wait, 0)) + 1) < 0 && errno != EINTR)
      break;
    if (waiting[0].revents & (POLLERR | POLLHUP | POLLNVAL)) break;
    // Requests first: a connection is answered, or dropped when its peer
    // went away or its time ran out, before new ones are let in.
    const Clock::time_point now = Clock::now();
    std::erase_if(open, [&, k = std::size_t{1}](Connection& connection) mutable {
      const short events = waiting[k++].revents;
      return now >= connection.deadline || (events != 0 && advance(connection, *shared, token, port));
    });
    if (shared->poisoned) break;
    if (waiting[0].revents & POLLIN) {
      for (;;) {
        UniqueFd stream{::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)};
        if (!stream) break;
        Connection connection{std::move(stream), Clock::now() + std::chrono::seconds(kRequestSeconds)};
        // A request usually arrives with its connection: answer it at once.
        if (advance(connection, *shared, token, port)) continue;
        // Too many waiting: the one that has waited longest gives way.
        if (open.size() >= kMaxConnections) open.erase(open.begin());
        open.push_back(std::move(connection));
      }
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED) break;
    }
  }
}

BridgeThread::BridgeThread(UniqueFd listener) : listener_(std::move(listener)), port_(bound_port(listener_.get())) {}

Result<std::unique_ptr<BridgeThread>> BridgeThread::start(int port, std::shared_ptr<SharedBridge> shared,
                                                          std::string token) {
  auto listener = bind_bridge_listener(port);
  if (!listener) return std::unexpected(listener.error());
  std::unique_ptr<BridgeThread> bridge(new BridgeThread(UniqueFd(*listener)));
  try {
    bridge->thread_ = std::thread(serve, bridge->listener_.get(), std::move(shared), std::move(token));
  } catch (const std::system_error& error) {
    return failure(fmt::format("Could not start the browser bridge: {}", os_error_text(error.code().value())));
  }
  return bridge;
}

BridgeThread::~BridgeThread() {
  // A listener shut down wakes the serving loop's poll with a hang-up.
  ::shutdown(listener_.get(), SHUT_RDWR);
  if (thread_.joinable()) thread_.join();
}

Json job_json(const Job& job) {
  Json value{{"id", job.id}, {"prompt", job.prompt}};
  if (job.probe) value["probe"] = true;
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
