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
#include <system_error>
#include <variant>

#include <fmt/format.h>

#include "bridge/http.h"
#include "bridge/port_holder.h"
#include "bridge/routes.h"
#include "common/files.h"

namespace wendlebox {

namespace {

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

using Clock = std::chrono::steady_clock;

// Reads a little of what the client already sent but the server did not
// need, so that closing does not reset the connection before a client
// that sent a few bytes too many reads the answer; a body refused before
// it was read stays unread.
void discard_pending_input(int stream) {
  char buffer[kChunk];
  for (int i = 0; i < 2 && ::recv(stream, buffer, sizeof buffer, MSG_DONTWAIT) > 0; ++i) {
  }
}

// A listener bound to 127.0.0.1:`port`, or the error of bind (or listen).
std::expected<UniqueFd, int> listen_on(int port) {
  UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!listener) return std::unexpected(errno);
  const int on = 1;
  ::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener.get(), SOMAXCONN) != 0)
    return std::unexpected(errno);
  return listener;
}

}  // namespace

Result<int> bind_bridge_listener(PortRange ports) {
  std::expected<UniqueFd, int> bound = std::unexpected(EADDRINUSE);
  // Taken ports are passed over; any other failure is the system's answer
  // for every port and is said at once.
  int port = ports.first;
  for (; port <= ports.last; ++port) {
    bound = listen_on(port);
    if (bound || bound.error() != EADDRINUSE) break;
  }
  if (!bound && (ports.first == ports.last || bound.error() != EADDRINUSE))
    return failure(port_taken_message(std::min(port, ports.last), bound.error()));
  if (!bound) return failure(all_ports_taken_message(ports.first, ports.last));
  const int flags = ::fcntl(bound->get(), F_GETFL);
  if (flags < 0 || ::fcntl(bound->get(), F_SETFL, flags | O_NONBLOCK) != 0) return os_failure();
  return bound->release();
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

class Server {
 public:
  Server(int listener, std::shared_ptr<JobExchange> exchange, BridgeKeys keys, std::string folder)
      : listener_(listener), exchange_(std::move(exchange)), check_(bound_port(listener), std::move(keys), *exchange_),
        folder_(std::move(folder)) {}

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
      const Verdict verdict = check_.head(whole.request);
      if (const auto* refused = std::get_if<Refused>(&verdict)) return refuse(connection.stream, whole.request, *refused), true;
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
    const Verdict verdict = check_.whole(request);
    if (const auto* refused = std::get_if<Refused>(&verdict)) return refuse(connection.stream, request, *refused);
    const std::string origin = request.origin.value_or("");
    const std::string& nonce = std::get<Admitted>(verdict).nonce;
    Reply reply = route(request, *exchange_, folder_);
    if (const auto* response = std::get_if<Response>(&reply)) return answer(connection.stream, *response, origin, nonce);
    // Too many held: the one held longest gets its answer now.
    if (held_.size() >= kMaxHeldPolls) release(held_.front()), held_.erase(held_.begin());
    const Hold hold = std::get<Hold>(reply);
    held_.push_back(HeldPoll{std::move(connection.stream), origin, nonce, hold, Clock::now() + hold.wait});
  }

  // A refusal is never signed: it comes before, or instead of, a request
  // the extension is known to have made.
  void refuse(UniqueFd& stream, const Request& request, const Refused& refused) {
    answer(stream, refused.answer, refused.echo_origin ? request.origin.value_or("") : "", {});
  }

  void answer(UniqueFd& stream, const Response& response, std::string_view origin, std::string_view nonce) {
    const std::string signature = nonce.empty() ? "" : check_.answer_signature(nonce, response);
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
  std::shared_ptr<JobExchange> exchange_;
  CallerCheck check_;
  std::string folder_;
  std::vector<Connection> open_{};      // oldest first
  std::vector<HeldPoll> held_{};        // oldest first
  std::vector<Outgoing> outgoing_{};    // answers the clients have not taken whole yet
};

}  // namespace

void serve(int listener, std::shared_ptr<JobExchange> exchange, BridgeKeys keys, std::string folder) {
  Server(listener, std::move(exchange), std::move(keys), std::move(folder)).run();
}

BridgeThread::BridgeThread(UniqueFd listener) : listener_(std::move(listener)), port_(bound_port(listener_.get())) {}

Result<std::unique_ptr<BridgeThread>> BridgeThread::start(PortRange ports, std::shared_ptr<JobExchange> exchange,
                                                          BridgeKeys keys, std::string folder) {
  auto listener = bind_bridge_listener(ports);
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
    bridge->thread_ = std::thread(serve, bridge->listener_.get(), std::move(exchange), std::move(keys), std::move(folder));
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

}  // namespace wendlebox
