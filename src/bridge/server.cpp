#include "bridge/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <unordered_set>
#include <system_error>
#include <variant>

#include <fmt/format.h>

#include "bridge/http.h"
#include "bridge/port_holder.h"
#include "bridge/token.h"
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
// Polls held until a job comes; beyond this, the oldest is answered at once.
constexpr std::size_t kMaxHeldPolls = 16;
constexpr unsigned long long kMaxPollWaitSeconds = 30;

using Clock = std::chrono::steady_clock;

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

// The value of `name` in the target's query, if given.
std::optional<std::string_view> parameter(std::string_view target, std::string_view name) {
  const std::size_t query = target.find('?');
  if (query == std::string_view::npos) return std::nullopt;
  std::string_view rest = target.substr(query + 1);
  while (!rest.empty()) {
    const std::string_view pair = rest.substr(0, rest.find('&'));
    if (pair.size() > name.size() && pair.starts_with(name) && pair[name.size()] == '=')
      return pair.substr(name.size() + 1);
    rest.remove_prefix(std::min(rest.size(), pair.size() + 1));
  }
  return std::nullopt;
}

// A poll that asked to wait: until a job is there, or, with `unchanged`,
// until the job offered is no longer that one.
struct Hold {
  std::chrono::seconds wait;
  std::optional<std::uint64_t> unchanged;
  std::optional<std::string> extension_version;
  std::optional<std::string> extension_browser;
};

std::optional<Hold> hold_of(const Request& request) {
  unsigned long long seconds = 0;
  const auto wait = parameter(request.target, "wait");
  if (!wait || !parse_unsigned(*wait, seconds) || seconds == 0) return std::nullopt;
  Hold hold{std::chrono::seconds(std::min(seconds, kMaxPollWaitSeconds)), std::nullopt, request.extension_version,
            request.extension_browser};
  unsigned long long id = 0;
  if (const auto unchanged = parameter(request.target, "unchanged"); unchanged && parse_unsigned(*unchanged, id))
    hold.unchanged = id;
  return hold;
}

bool nothing_new(const std::optional<Job>& offer, const Hold& hold) {
  return hold.unchanged ? offer && offer->id == *hold.unchanged : !offer;
}

Response next_answer(const std::optional<Job>& offer) {
  return offer ? Response{200, job_json(*offer)} : Response{204, {}};
}

Response answer_result(JobExchange& exchange, std::string_view body) {
  auto result = decode_browser_result(body);
  if (!result) return error_response(400, "Invalid result");
  switch (exchange.deliver(std::move(*result))) {
    case JobExchange::Delivery::Accepted:
      return {200, Json{{"ok", true}}};
    case JobExchange::Delivery::Duplicate:
      return {200, Json{{"duplicate", true}, {"ok", true}}};
    case JobExchange::Delivery::Stale:
      break;
  }
  return error_response(409, "Old result");
}

bool is_challenge(std::string_view text) {
  return text.size() >= 32 && text.size() <= 128 &&
         text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// Older extensions ask this before they hand over the token: only the
// program that made the token can answer its challenge.
Response prove_token(std::string_view target, const std::string& token) {
  const std::size_t at = target.find("challenge=");
  const std::string_view challenge = at == std::string_view::npos ? "" : target.substr(at + 10, target.find('&', at) - at - 10);
  if (!is_challenge(challenge)) return error_response(400, "Bad request");
  return {200, Json{{"proof", hmac_hex(token, challenge)}}};
}

// The extension never sends the token: it signs each request over a fresh
// nonce with the session's key (made from the token and the pairing key),
// and the program signs its answer over the same nonce, so a process that
// holds the port learns nothing it can use or replay, and one that made up
// or learnt a token still cannot pass for this user's program.
std::string request_signature(const std::string& key, const Request& request) {
  return hmac_hex(key, fmt::format("request\n{}\n{}\n{}\n{}", request.nonce.value_or(""), request.method,
                                   request.target, request.body));
}

std::string answer_signature(const std::string& key, std::string_view nonce, const Response& response) {
  return hmac_hex(key, fmt::format("answer\n{}\n{}\n{}", nonce, response.status, http::body_of(response)));
}

// The nonces of this session's signed requests, so none is accepted twice.
class SeenNonces {
 public:
  bool first_time(const std::string& nonce) {
    if (!seen_.insert(nonce).second) return false;
    order_.push_back(nonce);
    if (order_.size() > kKept) seen_.erase(order_.front()), order_.pop_front();
    return true;
  }

 private:
  static constexpr std::size_t kKept = 100'000;
  std::unordered_set<std::string> seen_;
  std::deque<std::string> order_;
};

// What a whole request gets: an answer now, or (a poll that asked to
// wait for news) to be held.
using Reply = std::variant<Response, Hold>;

Reply handle(const Request& request, JobExchange& exchange, const std::string& token, bool signed_by_extension) {
  const std::string_view path = std::string_view(request.target).substr(0, request.target.find('?'));
  if (request.method == "GET" && path == "/health") return Response{200, Json{{"ok", true}}};
  if (request.method == "GET" && path == "/hello") return prove_token(request.target, token);
  if (!signed_by_extension && !same_token(presented_token(request.target), token))
    return error_response(403, "Invalid session");
  if (request.method == "GET" && path == "/next") {
    const std::optional<Job> offer = exchange.poll(request.extension_version, request.extension_browser);
    if (auto hold = hold_of(request); hold && nothing_new(offer, *hold)) return *hold;
    return next_answer(offer);
  }
  if (request.method == "POST" && path == "/result") return answer_result(exchange, request.body);
  if (request.method == "OPTIONS" && path == "/result") return Response{204, {}};
  return error_response(404, "Unknown request");
}

// Reads a little of what the client already sent but the server did not
// need, so that closing does not reset the connection before a client
// that sent a few bytes too many reads the answer; a body refused before
// it was read stays unread.
void discard_pending_input(int stream) {
  char buffer[kChunk];
  for (int i = 0; i < 2 && ::recv(stream, buffer, sizeof buffer, MSG_DONTWAIT) > 0; ++i) {
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
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, SOMAXCONN) != 0) {
    const int error = errno;
    ::close(listener);
    return failure(port_taken_message(port, error));
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
  Clock::time_point deadline;       // the whole request must have come by then
  Clock::time_point last_progress;  // when its last bytes came
  std::string buffer{};
  std::size_t searched = 0;
  std::size_t wanted = 0;  // header and body, once the header has been checked
};

// A poll waiting for news, answered when a job comes or its time is up.
struct HeldPoll {
  UniqueFd stream;
  std::string origin;
  std::string nonce;  // of a signed poll, whose answer is signed over it
  Hold hold;
  Clock::time_point until;
};

// An answer being sent as fast as its client reads it, within a whole-answer
// deadline, so that no client can hold the bridge up.
struct Outgoing {
  UniqueFd stream;
  std::string bytes;
  std::size_t sent = 0;
  Clock::time_point deadline;
};

enum class Read { Open, Closed };

// Reads what has arrived, up to `limit` bytes held in all.
Read receive(Connection& connection, std::size_t limit) {
  char chunk[kChunk];
  while (connection.buffer.size() < limit) {
    const std::size_t room = std::min(sizeof chunk, limit - connection.buffer.size());
    const ssize_t n = ::recv(connection.stream.get(), chunk, room, MSG_DONTWAIT);
    if (n > 0) {
      connection.buffer.append(chunk, static_cast<std::size_t>(n));
      connection.last_progress = Clock::now();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? Read::Open : Read::Closed;
  }
  return Read::Open;
}

// Sends what the client takes now; true once the answer is out or the
// client is gone.
bool send_some(Outgoing& outgoing) {
  while (outgoing.sent < outgoing.bytes.size()) {
    const ssize_t n = ::send(outgoing.stream.get(), outgoing.bytes.data() + outgoing.sent,
                             outgoing.bytes.size() - outgoing.sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      outgoing.sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return !(n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
  }
  discard_pending_input(outgoing.stream.get());
  return true;
}

// Whether the client of a held poll went away; what else it sends is read
// and dropped (one request per connection).
bool peer_left(int stream) {
  char chunk[kChunk];
  for (;;) {
    const ssize_t n = ::recv(stream, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n > 0) continue;
    if (n < 0 && errno == EINTR) continue;
    return n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
  }
}

// Whether a request may send a body at all: its Host and Origin are the
// extension's or a local tool's, and it carries credentials (the token, or
// a signature, which is checked with the body). Nothing is read of a body
// before this.
std::optional<Response> refused_before_body(const Request& request, const std::string& token, int port) {
  if (auto refused = refused_caller(request, port)) return refused;
  const std::string_view path = std::string_view(request.target).substr(0, request.target.find('?'));
  if (path == "/health" || path == "/hello" || request.method == "OPTIONS") return std::nullopt;
  const bool signs = request.nonce && request.signature && is_challenge(*request.nonce);
  if (!signs && !same_token(presented_token(request.target), token)) return error_response(403, "Invalid session");
  return std::nullopt;
}

class Server {
 public:
  Server(int listener, std::shared_ptr<JobExchange> exchange, std::string token, std::string signing_key)
      : listener_(listener), port_(bound_port(listener)), exchange_(std::move(exchange)), token_(std::move(token)),
        signing_key_(std::move(signing_key)) {}

  void run() {
    while (wait_for_events()) {
      if (exchange_->failed()) break;
    }
  }

 private:
  // Reads what arrived and answers once the request is whole; true when the
  // connection is done with (answered, held, or its peer went away).
  bool advance(Connection& connection) {
    try {
      return take_in(connection);
    } catch (...) {
      // The state may be half changed: tell the session instead of letting
      // it trust what it reads.
      exchange_->fail();
      return true;
    }
  }

  bool take_in(Connection& connection) {
    if (connection.wanted == 0) {
      if (receive(connection, http::kMaxHeaderSearch + 1) == Read::Closed) return true;
      auto head = http::parse_head(connection.buffer, connection.searched);
      if (std::holds_alternative<http::NeedMore>(head)) return false;
      if (const auto* error = std::get_if<Response>(&head)) return answer(connection.stream, *error, {}, {}), true;
      const http::Head& whole = std::get<http::Head>(head);
      if (auto refused = refused_before_body(whole.request, token_, port_)) {
        const bool from_extension = !refused_caller(whole.request, port_);
        return answer(connection.stream, *refused, from_extension ? whole.request.origin.value_or("") : "", {}), true;
      }
      connection.wanted = whole.size + whole.length;
    }
    if (receive(connection, connection.wanted) == Read::Closed) return true;
    if (connection.buffer.size() < connection.wanted) return false;
    auto parsed = http::parse_request(connection.buffer, connection.searched);
    if (const auto* error = std::get_if<Response>(&parsed)) return answer(connection.stream, *error, {}, {}), true;
    dispatch(connection, std::get<Request>(parsed));
    return true;
  }

  void dispatch(Connection& connection, const Request& request) {
    const std::string origin = request.origin.value_or("");
    // A signature counts once per nonce; a bad one gets an unsigned refusal.
    const bool signed_by_extension = !signing_key_.empty() && request.nonce && request.signature &&
                                     is_challenge(*request.nonce) &&
                                     same_token(*request.signature, request_signature(signing_key_, request)) &&
                                     nonces_.first_time(*request.nonce);
    const std::string nonce = signed_by_extension ? *request.nonce : "";
    Reply reply = handle(request, *exchange_, token_, signed_by_extension);
    if (const auto* response = std::get_if<Response>(&reply)) return answer(connection.stream, *response, origin, nonce);
    // Too many held: the one held longest gets its answer now.
    if (held_.size() >= kMaxHeldPolls) release(held_.front()), held_.erase(held_.begin());
    const Hold hold = std::get<Hold>(reply);
    held_.push_back(HeldPoll{std::move(connection.stream), origin, nonce, hold, Clock::now() + hold.wait});
  }

  void answer(UniqueFd& stream, const Response& response, std::string_view origin, std::string_view nonce) {
    const std::string signature = nonce.empty() ? "" : answer_signature(signing_key_, nonce, response);
    Outgoing outgoing{std::move(stream), http::response_bytes(response, origin, signature), 0,
                      Clock::now() + std::chrono::seconds(kRequestSeconds)};
    if (!send_some(outgoing)) outgoing_.push_back(std::move(outgoing));
  }

  void release(HeldPoll& poll) {
    answer(poll.stream, next_answer(exchange_->poll(poll.hold.extension_version, poll.hold.extension_browser)), poll.origin, poll.nonce);
  }

  // Held polls with news (or out of time) are answered; those whose client
  // went away are dropped.
  void answer_held(const std::vector<pollfd>& events, std::size_t first, bool woken) {
    const Clock::time_point now = Clock::now();
    std::erase_if(held_, [&, k = first](HeldPoll& poll) mutable {
      const short revents = events[k++].revents;
      if (revents != 0 && peer_left(poll.stream.get())) return true;
      if (!woken && now < poll.until) return false;
      const std::optional<Job> offer = exchange_->poll(poll.hold.extension_version, poll.hold.extension_browser);
      if (now < poll.until && nothing_new(offer, poll.hold)) return false;
      answer(poll.stream, next_answer(offer), poll.origin, poll.nonce);
      return true;
    });
  }

  void send_pending(const std::vector<pollfd>& events, std::size_t first) {
    const Clock::time_point now = Clock::now();
    std::erase_if(outgoing_, [&, k = first](Outgoing& outgoing) mutable {
      const short revents = events[k++].revents;
      return now >= outgoing.deadline || (revents != 0 && send_some(outgoing));
    });
  }

  // Too many waiting for `newcomer`: one that has sent nothing gives way
  // (the longest waiting), never one whose request is arriving, as a flood
  // of empty connections would otherwise push out a real request between
  // its header and its body. When every other is sending, a newcomer that
  // has sent nothing is turned away (false), and one that has sent some
  // pushes out the slowest sender.
  bool make_room(const Connection& newcomer) {
    const auto silent = std::ranges::find_if(open_, [](const Connection& c) { return c.buffer.empty(); });
    if (silent != open_.end()) return open_.erase(silent), true;
    if (newcomer.buffer.empty()) return false;
    open_.erase(std::ranges::min_element(open_, {}, &Connection::last_progress));
    return true;
  }

  void accept_new() {
    for (;;) {
      UniqueFd stream{::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)};
      if (!stream) break;
      const Clock::time_point now = Clock::now();
      Connection connection{std::move(stream), now + std::chrono::seconds(kRequestSeconds), now};
      // A request usually arrives with its connection: answer it at once.
      if (advance(connection)) continue;
      if (open_.size() >= kMaxConnections && !make_room(connection)) continue;
      open_.push_back(std::move(connection));
    }
  }

  // One round of the loop; false when the listener is gone.
  bool wait_for_events() {
    std::vector<pollfd> events{pollfd{listener_, POLLIN, 0}, pollfd{exchange_->wakeup_fd(), POLLIN, 0}};
    Clock::time_point next_deadline = Clock::now() + std::chrono::seconds(kRequestSeconds);
    for (const Connection& connection : open_) {
      events.push_back(pollfd{connection.stream.get(), POLLIN, 0});
      next_deadline = std::min(next_deadline, connection.deadline);
    }
    const std::size_t first_held = events.size();
    for (const HeldPoll& poll : held_) {
      events.push_back(pollfd{poll.stream.get(), POLLIN, 0});
      next_deadline = std::min(next_deadline, poll.until);
    }
    const std::size_t first_outgoing = events.size();
    for (const Outgoing& outgoing : outgoing_) {
      events.push_back(pollfd{outgoing.stream.get(), POLLOUT, 0});
      next_deadline = std::min(next_deadline, outgoing.deadline);
    }
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next_deadline - Clock::now()).count();
    if (::poll(events.data(), events.size(), static_cast<int>(std::max<long long>(wait, 0)) + 1) < 0 && errno != EINTR)
      return false;
    if (events[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
    const bool woken = (events[1].revents & POLLIN) != 0;
    if (woken) exchange_->clear_wakeup();
    // Answers on their way and held polls first (requests below add to
    // both), then requests: a connection is answered, or dropped when its
    // peer went away or its time ran out, before new ones are let in.
    send_pending(events, first_outgoing);
    answer_held(events, first_held, woken);
    const Clock::time_point now = Clock::now();
    std::vector<Connection> still_open;
    for (std::size_t k = 0; k < open_.size(); ++k) {
      const short revents = events[2 + k].revents;
      if (now >= open_[k].deadline || (revents != 0 && advance(open_[k]))) continue;
      still_open.push_back(std::move(open_[k]));
    }
    open_ = std::move(still_open);
    if (events[0].revents & POLLIN) {
      accept_new();
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED) return false;
    }
    return true;
  }

  int listener_;
  int port_;
  std::shared_ptr<JobExchange> exchange_;
  std::string token_;
  std::string signing_key_;  // empty: no signed request is taken
  std::vector<Connection> open_{};      // oldest first
  std::vector<HeldPoll> held_{};        // oldest first
  std::vector<Outgoing> outgoing_{};    // answers the clients have not taken whole yet
  SeenNonces nonces_{};
};

}  // namespace

void serve(int listener, std::shared_ptr<JobExchange> exchange, std::string token, std::string signing_key) {
  Server(listener, std::move(exchange), std::move(token), std::move(signing_key)).run();
}

BridgeThread::BridgeThread(UniqueFd listener) : listener_(std::move(listener)), port_(bound_port(listener_.get())) {}

Result<std::unique_ptr<BridgeThread>> BridgeThread::start(int port, std::shared_ptr<JobExchange> exchange,
                                                          std::string token, std::string signing_key) {
  auto listener = bind_bridge_listener(port);
  if (!listener) return std::unexpected(listener.error());
  std::unique_ptr<BridgeThread> bridge(new BridgeThread(UniqueFd(*listener)));
  // The thread starts with the signals that stop a session blocked, so
  // they reach the session's thread, whose waits they cut short.
  sigset_t session_signals, previous;
  sigemptyset(&session_signals);
  for (const int signal : {SIGINT, SIGHUP, SIGTERM}) sigaddset(&session_signals, signal);
  ::pthread_sigmask(SIG_BLOCK, &session_signals, &previous);
  std::optional<std::string> failed;
  try {
    bridge->thread_ = std::thread(serve, bridge->listener_.get(), std::move(exchange), std::move(token),
                                 std::move(signing_key));
  } catch (const std::system_error& error) {
    failed = fmt::format("Could not start the browser bridge: {}", os_error_text(error.code().value()));
  }
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (failed) return failure(*failed);
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
