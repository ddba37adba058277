// The product's bridge ports, 47833 and the nineteen after it: sessions
// that start at once each get one of their own, and one that finds them
// all taken says so and names what holds the first.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <thread>

#include "bridge/server.h"
#include "common/files.h"
#include "session/whole_program_fixture.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

using namespace whole_program;

constexpr int kPorts = kLastBridgePort - kBridgePort + 1;

// A program that is not Wendlebox listening on `port`.
UniqueFd other_program_on(int port) {
  UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const int on = 1;  // a session's connections just closed may linger
  ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(socket.get(), 4) != 0)
    ADD_FAILURE() << "port " << port << " is taken";
  return socket;
}

// Bridges started all at once each get a port of their own (each port is
// bound, never looked at first), and they fill the whole range.
TEST(BridgePorts, BridgesStartedAtOnceEachGetAPortOfTheirOwn) {
  std::mutex mutex;
  std::vector<std::unique_ptr<BridgeThread>> bridges;
  std::vector<std::string> failures;
  std::vector<std::thread> starting;
  for (int i = 0; i < kPorts; ++i)
    starting.emplace_back([&] {
      auto bridge = BridgeThread::start(kBridgePorts, std::make_shared<JobExchange>(), BridgeKeys{});
      const std::lock_guard lock(mutex);
      if (bridge) bridges.push_back(std::move(*bridge));
      else failures.push_back(bridge.error().message);
    });
  for (std::thread& thread : starting) thread.join();
  EXPECT_EQ(failures, std::vector<std::string>{});
  std::set<int> ports;
  for (const auto& bridge : bridges) ports.insert(bridge->port());
  EXPECT_EQ(ports.size(), static_cast<std::size_t>(kPorts));
  EXPECT_EQ(*ports.begin(), kBridgePort);
  EXPECT_EQ(*ports.rbegin(), kLastBridgePort);
  // Each answers for its own port only: a request naming another's is refused.
  const HttpReply crossed = http_exchange("GET /health HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(kBridgePort) +
                                              "\r\n\r\n", kBridgePort + 1);
  EXPECT_EQ(crossed.status, 403);
  EXPECT_EQ(crossed.body, "{\"error\":\"Invalid host\"}");
}

// Every port taken: the session ends before opening anything, saying what
// holds the first port. A session's health check names its folder, which
// is shown made safe (whoever holds the port chooses what it says).
TEST_F(WholeProgram, WhenEveryPortIsTakenTheMessageNamesWhatHoldsTheFirst) {
  std::vector<UniqueFd> others;
  for (int port = kBridgePort + 1; port <= kLastBridgePort; ++port) others.push_back(other_program_on(port));
  const std::string all_taken = "Wendlebox: All 20 ports Wendlebox can listen on (127.0.0.1:47833 to 47852) are "
                                "taken, so no other session can start. ";
  const std::string end_one = " End a session you no longer need (/exit or Ctrl+C in its terminal) and try again.\n";
  {
    auto session = BridgeThread::start(kBridgePort, std::make_shared<JobExchange>(), BridgeKeys{},
                                       "/projects/shop\x1b]0;owned\x07\nrm -rf ~");
    ASSERT_TRUE(session) << session.error();
    CommandResult r = start({"go"})->finish();
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, all_taken + "Port 47833 is held by a Wendlebox session working in /projects/shop\\x1b]0;owned"
                                 "\\x07⏎rm -rf ~." + end_one);
  }
  UniqueFd other = other_program_on(kBridgePort);
  CommandResult r = run_binary({.args = {"go"}, .cwd = work.path, .home = home.path, .env = {{"WENDLEBOX_LANG", "pt"}},
                                .path_prefix = bin.path.string()});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "Wendlebox: Todas as 20 portas em que o Wendlebox pode escutar (127.0.0.1:47833 a 47852) estão "
                   "ocupadas, então nenhuma outra sessão pode começar. A porta 47833 está com outro programa (ss -ltnp "
                   "'sport = :47833' mostra qual). Encerre uma sessão de que não precisa mais (/exit ou Ctrl+C no "
                   "terminal dela) e tente de novo.\n");
  EXPECT_FALSE(fs::exists(urls()));  // no browser was opened
}

}  // namespace

}  // namespace wendlebox
