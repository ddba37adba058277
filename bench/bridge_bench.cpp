// Bridge throughput and latency on loopback:
//  - sequential GET /health round trips per second;
//  - time from publishing a job until a client polling /next back to back
//    receives it.
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "bridge/server.h"
#include "support/bridge_client.h"

using Clock = std::chrono::steady_clock;

static double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

int main() {
  auto listener = bind_bridge_listener(kBridgePort);
  if (!listener) {
    std::fprintf(stderr, "%s\n", listener.error().c_str());
    return 1;
  }
  auto shared = std::make_shared<SharedBridge>();
  std::thread server(serve, *listener, shared, "bench-token");

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

  std::vector<double> latencies;
  for (std::uint64_t id = 1; id <= 200; ++id) {
    std::atomic<bool> received{false};
    Clock::time_point got;
    std::thread poller([&] {
      while (!received) {
        HttpReply reply = http_get("/next?token=bench-token");
        if (reply.status == 200 && reply.body.find("\"id\":" + std::to_string(id) + ",") != std::string::npos) {
          got = Clock::now();
          received = true;
        }
      }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    Clock::time_point published;
    {
      std::lock_guard lock(shared->mutex);
      shared->state.job = Job{"prompt", {}, id};
      shared->state.result.reset();
      published = Clock::now();
      shared->changed.notify_all();
    }
    poller.join();
    latencies.push_back(std::chrono::duration<double, std::micro>(got - published).count());
  }
  std::printf("bridge: publish to job received by a polling client: median %.0f us over 200 jobs\n", median(latencies));

  ::shutdown(*listener, SHUT_RDWR);
  server.join();
  return 0;
}
