#include "bridge/port_holder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

#include <fmt/format.h>

#include "common/files.h"
#include "common/json.h"
#include "common/result.h"
#include "common/text.h"
#include "i18n/i18n.h"
#include "bridge/messages.h"

namespace wendlebox {

using namespace messages::bridge;

namespace {

// The most of a health answer read: enough for any folder's name, of
// which no more than a path's longest is shown.
constexpr std::size_t kMaxHealthAnswer = 16384;
constexpr std::size_t kMaxFolderShown = 4096;

}  // namespace

std::optional<SessionOnPort> session_on(int port) {
  const UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket) return std::nullopt;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return std::nullopt;
  const std::string request = fmt::format("GET /health HTTP/1.1\r\nHost: 127.0.0.1:{}\r\nConnection: close\r\n\r\n", port);
  if (!write_all(socket.get(), request)) return std::nullopt;
  std::string answer;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  // Whatever holds the port may answer anything: a few kilobytes are read,
  // no more, and what it says is only ever shown made safe.
  while (answer.size() < kMaxHealthAnswer) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd readable{socket.get(), POLLIN, 0};
    if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[1024];
    const ssize_t n = ::recv(socket.get(), buffer, sizeof buffer, 0);
    if (n <= 0) break;
    answer.append(buffer, static_cast<std::size_t>(n));
  }
  const std::size_t body = answer.find("\r\n\r\n");
  if (!answer.starts_with("HTTP/1.1 200") || body == std::string::npos) return std::nullopt;
  const auto health = parse_json(std::string_view(answer).substr(body + 4));
  if (!health || !health->is_object()) return std::nullopt;
  const auto ok = health->find("ok");
  if (ok == health->end() || !ok->is_boolean() || !ok->get<bool>()) return std::nullopt;
  const auto folder = health->find("folder");
  if (folder == health->end() || !folder->is_string()) return SessionOnPort{};
  return SessionOnPort{shortened(lossy_utf8(folder->get<std::string>()), kMaxFolderShown)};
}

std::string port_taken_message(int port, int error) {
  if (error != EADDRINUSE) return fmt::format("Could not listen on 127.0.0.1:{}: {}", port, os_error_text(error));
  if (session_on(port)) return fmt::format(fmt::runtime(i18n::tr(kAnotherSession)), port);
  return fmt::format(fmt::runtime(i18n::tr(kAnotherProgram)), port, port);
}

std::string all_ports_taken_message(int first, int last) {
  const std::optional<SessionOnPort> session = session_on(first);
  std::string holder;
  if (!session) holder = fmt::format(fmt::runtime(i18n::tr(kFirstHeldByProgram)), first);
  else if (session->folder.empty()) holder = fmt::format(fmt::runtime(i18n::tr(kFirstHeldBySession)), first);
  else
    holder = fmt::format(fmt::runtime(i18n::tr(kFirstHeldBySessionIn)), first, one_line_text(session->folder));
  return fmt::format(fmt::runtime(i18n::tr(kAllTaken)), last - first + 1, first, last, holder);
}

}  // namespace wendlebox
