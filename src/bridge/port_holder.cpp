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

namespace {

constexpr i18n::Text kAnotherSession{
    "Another Wendlebox session is already using port {}. Finish it first (/exit or Ctrl+C in its terminal).",
    "Outra sessão do Wendlebox já está usando a porta {}. Termine-a primeiro (/exit ou Ctrl+C no terminal dela).",
    "Otra sesión de Wendlebox ya está usando el puerto {}. Termínala primero (/exit o Ctrl+C en su terminal)."};
constexpr i18n::Text kAnotherProgram{
    "Another program is using port {} on 127.0.0.1, where the extension looks for Wendlebox. Stop it and try again "
    "(ss -ltnp 'sport = :{}' shows which).",
    "Outro programa está usando a porta {} em 127.0.0.1, onde a extensão procura o Wendlebox. Encerre-o e tente de "
    "novo (ss -ltnp 'sport = :{}' mostra qual).",
    "Otro programa está usando el puerto {} en 127.0.0.1, donde la extensión busca Wendlebox. Detenlo y vuelve a "
    "intentarlo (ss -ltnp 'sport = :{}' muestra cuál)."};

constexpr i18n::Text kAllTaken{
    "All {0} ports Wendlebox can listen on (127.0.0.1:{1} to {2}) are taken, so no other session can start. {3} End a "
    "session you no longer need (/exit or Ctrl+C in its terminal) and try again.",
    "Todas as {0} portas em que o Wendlebox pode escutar (127.0.0.1:{1} a {2}) estão ocupadas, então nenhuma outra "
    "sessão pode começar. {3} Encerre uma sessão de que não precisa mais (/exit ou Ctrl+C no terminal dela) e tente "
    "de novo.",
    "Los {0} puertos en los que Wendlebox puede escuchar (127.0.0.1:{1} a {2}) están ocupados, así que no puede "
    "empezar otra sesión. {3} Termina una sesión que ya no necesites (/exit o Ctrl+C en su terminal) y vuelve a "
    "intentarlo."};
constexpr i18n::Text kFirstHeldBySessionIn{"Port {} is held by a Wendlebox session working in {}.",
                                           "A porta {} está com uma sessão do Wendlebox que trabalha em {}.",
                                           "El puerto {} lo tiene una sesión de Wendlebox que trabaja en {}."};
constexpr i18n::Text kFirstHeldBySession{"Port {} is held by a Wendlebox session.",
                                         "A porta {} está com uma sessão do Wendlebox.",
                                         "El puerto {} lo tiene una sesión de Wendlebox."};
constexpr i18n::Text kFirstHeldByProgram{
    "Port {0} is held by another program (ss -ltnp 'sport = :{0}' shows which).",
    "A porta {0} está com outro programa (ss -ltnp 'sport = :{0}' mostra qual).",
    "El puerto {0} lo tiene otro programa (ss -ltnp 'sport = :{0}' muestra cuál)."};

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
