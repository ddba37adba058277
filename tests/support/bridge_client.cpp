#include "support/bridge_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

#include "bridge/token.h"
#include "common/files.h"
#include "common/random.h"
#include "support/support.h"

namespace wendlebox {

HttpReply http_exchange(const std::string& raw, int port) {
  HttpReply reply;
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return reply;
  }
  std::string_view rest = raw;
  while (!rest.empty()) {
    const ssize_t n = ::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL);
    if (n <= 0) break;
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  std::string received;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    received.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  const std::size_t end = received.find("\r\n\r\n");
  if (end == std::string::npos) return reply;
  reply.answered = true;
  reply.head = received.substr(0, end + 4);
  reply.body = received.substr(end + 4);
  reply.status = std::stoi(received.substr(9, 3));
  return reply;
}

HttpReply http_get(const std::string& target, int port) {
  return http_exchange("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n", port);
}

HttpReply http_post(const std::string& target, const std::string& body, int port) {
  return http_exchange("POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                           "\r\nContent-Type: application/json\r\n" +
                           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body,
                       port);
}

FakeExtension::FakeExtension(const std::string& token, const std::string& pairing_key, int port)
    : keys_(bridge_keys(pairing_key, token)), port_(port) {}

std::string FakeExtension::request_bytes(const std::string& method, const std::string& target, const std::string& body,
                                         const std::string& nonce) const {
  const std::string signature = hmac_hex(keys_.session_key, "request\n" + nonce + "\n" + method + "\n" + target + "\n" + body);
  std::string head = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) +
                     "\r\nX-Wendlebox-Nonce: " + nonce + "\r\nX-Wendlebox-Signature: " + signature +
                     "\r\nX-Wendlebox-Pairing: " + keys_.pairing_id + "\r\n";
  if (version_) head += "X-Wendlebox-Extension: " + *version_ + "\r\n";
  if (!body.empty()) head += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
  return head + "\r\n" + body;
}

HttpReply FakeExtension::request(const std::string& method, const std::string& target, const std::string& body) {
  const std::string nonce = *random_hex(16);
  HttpReply reply = http_exchange(request_bytes(method, target, body, nonce), port_);
  const std::string answer_signature =
      hmac_hex(keys_.session_key, "answer\n" + nonce + "\n" + std::to_string(reply.status) + "\n" + reply.body);
  reply.signed_answer = reply.head.find("\r\nX-Wendlebox-Signature: " + answer_signature + "\r\n") != std::string::npos;
  return reply;
}

std::optional<nlohmann::json> FakeExtension::next_job(std::chrono::milliseconds limit) {
  std::optional<nlohmann::json> job;
  wait_until(
      [&] {
        if (exchange_) {
          if (auto offered = exchange_->poll(version_)) job = job_json(*offered);
          return job.has_value();
        }
        HttpReply reply = request("GET", "/next");
        if (reply.status == 200 && reply.signed_answer) job = nlohmann::json::parse(reply.body);
        return job.has_value();
      },
      limit);
  return job;
}

HttpReply FakeExtension::post_result(const nlohmann::json& result) {
  if (!exchange_) return request("POST", "/result", result.dump());
  auto decoded = decode_job_result(result.dump());
  const http::Response answer =
      decoded ? delivery_answer(exchange_->deliver(std::move(*decoded))) : http::error_response(400, "Invalid result");
  return HttpReply{true, answer.status, "", http::body_of(answer), true};
}

nlohmann::json FakeExtension::answer(const std::string& text, const std::optional<std::string>& url) {
  std::optional<nlohmann::json> job = next_job();
  if (!job) throw std::runtime_error("no job arrived");
  nlohmann::json result{{"id", (*job)["id"]}, {"text", text}};
  if (url) result["url"] = *url;
  post_result(result);
  return *job;
}

std::string token_of_url(const std::string& url) {
  const std::size_t at = url.find("#wendlebox=");
  return at == std::string::npos ? "" : url.substr(at + 11, 32);
}

int port_of_url(const std::string& url) {
  const std::size_t at = url.find("&port=", url.find("#wendlebox="));
  return at == std::string::npos ? kBridgePort : std::stoi(url.substr(at + 6));
}

std::string pairing_key_in(const std::filesystem::path& home) {
  std::string key;
  wait_until([&] {
    auto stored = read_file(home / ".local/share/wendlebox/pairing-key");
    if (stored) key = *stored;
    return key.size() == 64;
  });
  return key;
}

}  // namespace wendlebox
