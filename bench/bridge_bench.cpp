// Bridge throughput and latency on loopback:
//  - sequential GET /health round trips per second;
//  - time from publishing a job until a client polling /next back to back
//    receives it;
//  - a poll's round trip while 500 idle clients and a slow one hold connections.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "measure.h"
#include "bridge/server.h"
#include "support/bridge_client.h"

using namespace wendlebox;

using Clock = std::chrono::steady_clock;

namespace {

using bench::median;
using bench::resident_kb;

int connected(const sockaddr_in& address) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  return ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ? fd : -1;
}

// Requests while 64 clients that do not sign send 2 MB bodies and the
// extension reads a 5 MB job 4 KB at a time: their bodies must never be
// read, nor the slow reader hold anyone up.
void flood(JobExchange& exchange, FakeExtension& extension, const sockaddr_in& address) {
  exchange.publish(Job{std::string(5'000'000, 'p'), {}, 1'000});
  const long before = resident_kb();
  std::atomic<bool> running{true};
  std::vector<std::thread> clients;
  const std::string body(1'999'999, 'x');
  for (int i = 0; i < 64; ++i)
    clients.emplace_back([&] {
      const int fd = connected(address);
      const std::string head = "POST /result HTTP/1.1\r\nContent-Length: 1999999\r\n\r\n";
      ::send(fd, head.data(), head.size(), MSG_NOSIGNAL);
      for (std::size_t sent = 0; running && sent < body.size();) {
        const ssize_t n = ::send(fd, body.data() + sent, std::min<std::size_t>(65536, body.size() - sent), MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
      }
      ::close(fd);
    });
  clients.emplace_back([&] {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int small = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return;
    const std::string poll = extension.request_bytes("GET", "/next", "", "00112233445566778899aabbccddeeff");
    ::send(fd, poll.data(), poll.size(), MSG_NOSIGNAL);
    char chunk[4096];
    while (running && ::recv(fd, chunk, sizeof chunk, 0) > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::close(fd);
  });
  std::vector<double> polls;
  long peak = before;
  for (int i = 0; i < 100; ++i) {
    const auto start = Clock::now();
    if (http_get("/health").status != 200) std::printf("bridge: a poll went unanswered under the flood\n");
    polls.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    peak = std::max(peak, resident_kb());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  running = false;
  for (std::thread& client : clients) client.join();
  std::printf("bridge: request while 64 clients send unsigned 2 MB bodies and one reads a 5 MB job slowly: "
              "median %.2f ms, max %.2f ms; memory %.1f MB before, %.1f MB at most\n",
              median(polls), *std::max_element(polls.begin(), polls.end()), before / 1024.0, peak / 1024.0);
}

}  // namespace

int main() {
  auto exchange = std::make_shared<JobExchange>();
  const std::string token = "0123456789abcdef0123456789abcdef", pairing(64, 'a');
  FakeExtension extension(token, pairing);
  auto bridge = BridgeThread::start(kBridgePort, exchange, bridge_keys(pairing, token));
  if (!bridge) {
    std::fprintf(stderr, "%s\n", bridge.error().message.c_str());
    return 1;
  }

  std::vector<double> rates;
  for (int round = 0; round < 5; ++round) {
    const int requests = 5000;
    const auto start = Clock::now();
    for (int i = 0; i < requests; ++i)
      if (http_get("/health").status != 200) return 1;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    rates.push_back(requests / seconds);
  }
  std::printf("bridge: sequential GET /health: median %.0f requests/s over 5 rounds of 5000\n", median(rates));

  // A client asking again and again, then one whose poll the bridge holds.
  for (const char* target : {"/next", "/next?wait=30"}) {
    std::vector<double> latencies;
    for (std::uint64_t id = 1; id <= 200; ++id) {
      std::atomic<bool> received{false};
      Clock::time_point got;
      std::thread poller([&] {
        while (!received) {
          HttpReply reply = extension.request("GET", target);
          if (reply.status == 200 && reply.body.find("\"id\":" + std::to_string(id) + ",") != std::string::npos) {
            got = Clock::now();
            received = true;
          }
        }
      });
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      const Clock::time_point published = Clock::now();
      exchange->publish(Job{"prompt", {}, id});
      poller.join();
      latencies.push_back(std::chrono::duration<double, std::micro>(got - published).count());
      exchange->withdraw();
    }
    std::printf("bridge: publish to job received, %s: median %.0f us, max %.0f us over 200 jobs\n",
                std::string_view(target).ends_with("wait=30") ? "poll held by the bridge" : "client polling in a loop",
                median(latencies), *std::max_element(latencies.begin(), latencies.end()));
  }

  // Under load: 500 connections that never send a request and one that
  // sends a byte a second, while the extension polls.
  std::vector<int> idle;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(kBridgePort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  for (int i = 0; i < 501; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 1;
    idle.push_back(fd);
  }
  std::atomic<bool> dripping{true};
  std::thread drip([&] {
    for (const char* byte = "GET /health HTTP/1.1\r\n"; dripping && *byte; ++byte) {
      ::send(idle.back(), byte, 1, MSG_NOSIGNAL);
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }
  });
  std::vector<double> polls;
  for (int i = 0; i < 50; ++i) {
    const auto start = Clock::now();
    if (extension.request("GET", "/next").status == 0) return 1;
    polls.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  dripping = false;
  std::printf("bridge: poll with 500 idle and 1 byte-a-second client connected: median %.2f ms, max %.2f ms\n",
              median(polls), *std::max_element(polls.begin(), polls.end()));
  drip.join();
  for (int fd : idle) ::close(fd);

  flood(*exchange, extension, address);
  return 0;
}
