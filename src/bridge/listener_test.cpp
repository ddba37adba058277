// Binding the bridge's port: what a taken port is said to be held by, and
// that a closed session's port can be taken again at once.
#include "bridge/server.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <thread>

#include <fmt/format.h>

#include "bridge/port_holder.h"
#include "common/files.h"
#include "support/bridge_client.h"
#include "support/support.h"

namespace wendlebox {

namespace {

// A program that is not this one's bridge (here one that never answers) is
// not called a Wendlebox session.
TEST(BridgeListener, APortHeldByAnotherProgramIsSaidSo) {
  const int other = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(other, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(other, 4), 0);
  const int port = bound_port(other);
  auto refused = bind_bridge_listener(port);
  ::close(other);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().message,
            fmt::format("Another program is using port {0} on 127.0.0.1, where the extension looks for "
                        "Wendlebox. Stop it and try again (ss -ltnp 'sport = :{0}' shows which).", port));
}

// What holds the first port when all are taken, as its health check says:
// whatever listens there may answer anything, and only a well-formed answer
// is taken for a session; its folder is shown made safe and cut short.
TEST(BridgeListener, AllPortsTakenNamesWhatItsHealthCheckSaysMadeSafe) {
  const std::string taken = "All 20 ports Wendlebox can listen on (127.0.0.1:{0} to {1}) are taken, so no other "
                            "session can start. {2} End a session you no longer need (/exit or Ctrl+C in its "
                            "terminal) and try again.";
  const std::string program = "Port {0} is held by another program (ss -ltnp 'sport = :{0}' shows which).";
  const std::string long_folder = "/" + std::string(5000, 'd');
  struct Case {
    std::string body;
    std::string holder;
  };
  const std::vector<Case> cases{
      {R"({"folder":"/work/shop","ok":true})", "Port {0} is held by a Wendlebox session working in /work/shop."},
      {R"({"ok":true})", "Port {0} is held by a Wendlebox session."},
      {R"({"folder":7,"ok":true})", "Port {0} is held by a Wendlebox session."},
      {R"({"folder":"/a","ok":"yes"})", program},
      {R"([true])", program},
      {"not json", program},
      {R"({"folder":")" + long_folder + R"(","ok":true})",
       "Port {0} is held by a Wendlebox session working in " + long_folder.substr(0, 4096) + "…."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body.substr(0, 60));
    const UniqueFd listener(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener.get(), 4), 0);
    const int port = bound_port(listener.get());
    std::thread holder([&] {
      const UniqueFd client(::accept(listener.get(), nullptr, nullptr));
      char request[4096];
      (void)!::recv(client.get(), request, sizeof request, 0);
      (void)write_all(client.get(), fmt::format("HTTP/1.1 200 OK\r\nContent-Length: {}\r\n\r\n{}", c.body.size(), c.body));
    });
    const std::string message = all_ports_taken_message(port, port + 19);
    holder.join();
    EXPECT_EQ(message, fmt::format(fmt::runtime(taken), port, port + 19, fmt::format(fmt::runtime(c.holder), port)));
  }
}

TEST(BridgeListener, CanBeBoundAgainRightAfterAServedSessionClosed) {
  int port = 0;  // a free port at first, then the same one again
  for (int round = 0; round < 2; ++round) {
    auto bridge = BridgeThread::start(port, std::make_shared<JobExchange>(), BridgeKeys{});
    ASSERT_TRUE(bridge) << bridge.error();
    port = (*bridge)->port();
    EXPECT_EQ(http_get("/health", port).status, 200);  // leaves a connection in TIME_WAIT
  }
}

}  // namespace

}  // namespace wendlebox
