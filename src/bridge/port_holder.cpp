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
#include "common/result.h"
#include "i18n/i18n.h"
#include "bridge/messages.h"

using namespace messages::bridge;

bool bridge_answers_on(int port) {
  const UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
  const std::string request = fmt::format("GET /health HTTP/1.1\r\nHost: 127.0.0.1:{}\r\nConnection: close\r\n\r\n", port);
  if (!write_all(socket.get(), request)) return false;
  std::string answer;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (answer.size() < 4096) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd readable{socket.get(), POLLIN, 0};
    if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[1024];
    const ssize_t n = ::recv(socket.get(), buffer, sizeof buffer, 0);
    if (n <= 0) break;
    answer.append(buffer, static_cast<std::size_t>(n));
  }
  return answer.starts_with("HTTP/1.1 200") && answer.ends_with("\r\n\r\n{\"ok\":true}");
}

std::string port_taken_message(int port, int error) {
  if (error != EADDRINUSE) return fmt::format("Could not listen on 127.0.0.1:{}: {}", port, os_error_text(error));
  if (bridge_answers_on(port)) return fmt::format(fmt::runtime(i18n::tr(kAnotherSession)), port);
  return fmt::format(fmt::runtime(i18n::tr(kAnotherProgram)), port, port);
}
