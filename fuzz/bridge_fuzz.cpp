// The bridge as any local process can reach it. The input's first byte says
// whether a job waits (bit 0) and whether the rest is one request that the
// paired extension signs (bit 1: "<method> <target>\n<body>"); else records
// of (connection 0-2, length - 1, bytes) send chunks over up to three
// loopback connections in the order it chooses. Every answer must be a
// well-formed response and the state the session shares must stay
// consistent.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "bridge/server.h"
#include "bridge/token.h"
#include "fuzz/targets.h"

using namespace wendlebox;

namespace {

constexpr char kToken[] = "0123456789abcdef0123456789abcdef";
const std::string kPairing(64, 'a');
constexpr char kNonce[] = "00112233445566778899aabbccddeeff";

// "<method> <target>\n<body>" as the paired extension sends it, signed.
std::string signed_request(std::string_view input) {
  const std::size_t line_end = std::min(input.find('\n'), input.size());
  const std::string_view line = input.substr(0, line_end);
  const std::size_t space = std::min(line.find(' '), line.size());
  const std::string method(line.substr(0, space)), target(line.substr(std::min(space + 1, line.size())));
  const std::string body(input.substr(std::min(line_end + 1, input.size())));
  const BridgeKeys keys = bridge_keys(kPairing, kToken);
  return method + " " + target + " HTTP/1.1\r\nX-Wendlebox-Nonce: " + kNonce + "\r\nX-Wendlebox-Signature: " +
         hmac_hex(keys.session_key, "request\n" + std::string(kNonce) + "\n" + method + "\n" + target + "\n" + body) +
         "\r\nX-Wendlebox-Pairing: " + keys.pairing_id + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

int connect_to(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) std::abort();
  const timeval limit{20, 0};  // a server that never answers nor closes is a hang
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  return fd;
}

std::string read_all(int fd) {
  std::string received;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n == 0 || (n < 0 && errno == ECONNRESET)) return received;
    if (n < 0) std::abort();  // timed out: the connection was left hanging
    received.append(buffer, static_cast<std::size_t>(n));
  }
}

// Nothing (the connection was dropped) or one whole response.
void check_response(std::string_view response) {
  if (response.empty()) return;
  if (!response.starts_with("HTTP/1.1 ")) std::abort();
  const std::size_t end = response.find("\r\n\r\n");
  if (end == std::string_view::npos) std::abort();
  const std::string_view head = response.substr(0, end + 2);
  const std::size_t at = head.find("\r\nContent-Length: ");
  if (at == std::string_view::npos) std::abort();
  const std::size_t length = std::strtoul(std::string(head.substr(at + 18)).c_str(), nullptr, 10);
  if (response.size() - end - 4 != length) std::abort();
  const std::string status(response.substr(9, 3));
  for (const char* known : {"200", "204", "400", "403", "404", "409", "413"})
    if (status == known) return;
  std::abort();
}

}  // namespace

int fuzz_bridge(const std::uint8_t* data, std::size_t size) {
  auto exchange = std::make_shared<JobExchange>();
  if (size > 0 && (data[0] & 1)) exchange->publish(Job{"prompt", {}, 1});  // a job waiting, or none
  auto bridge = BridgeThread::start(0, exchange, bridge_keys(kPairing, kToken));
  if (!bridge) std::abort();
  const int port = (*bridge)->port();

  std::vector<int> connections;
  if (size > 0 && (data[0] & 2)) {
    const std::string request = signed_request(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
    const int fd = connect_to(port);
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    // A poll held for news is left after a while, and the bridge drops it.
    pollfd readable{fd, POLLIN, 0};
    if (::poll(&readable, 1, 2000) == 0) ::shutdown(fd, SHUT_WR);
    check_response(read_all(fd));
    ::close(fd);
  }
  for (std::size_t pos = size > 0 && !(data[0] & 2) ? 1 : size; pos + 2 <= size;) {
    const std::size_t which = data[pos] % 3;
    const std::size_t length = std::min<std::size_t>(data[pos + 1] + 1u, size - pos - 2);
    while (connections.size() <= which) connections.push_back(connect_to(port));
    ::send(connections[which], data + pos + 2, length, MSG_NOSIGNAL);
    pos += 2 + length;
  }
  for (int fd : connections) ::shutdown(fd, SHUT_WR);
  for (int fd : connections) {
    check_response(read_all(fd));
    ::close(fd);
  }
  if (exchange->failed()) std::abort();
  if (auto result = exchange->wait(std::chrono::milliseconds(0)).result; result && result->id != 1) std::abort();
  return 0;
}
