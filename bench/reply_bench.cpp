// Reply parsing on hostile replies: a block whose message never closes,
// followed by tens of thousands of fences, each of which could end it.
#include <chrono>
#include <cstdio>
#include <string>

#include "session/protocol.h"

using namespace wendlebox;

using Clock = std::chrono::steady_clock;

namespace {

std::string fences(std::size_t bytes) {
  std::string text = "```wendlebox\n{\"status\":\"continue\",\"message\":\"";
  while (text.size() < bytes) text += "}```";
  return text;
}

}  // namespace

int main() {
  for (const std::size_t bytes : {std::size_t{160'000}, std::size_t{2'000'000}}) {
    const std::string reply = fences(bytes);
    const auto start = Clock::now();
    const bool parsed = parse_reply(reply).has_value();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::printf("reply: %zu KB of unclosed message and fences parsed in %.1f ms (%s)\n", reply.size() / 1000, ms,
                parsed ? "accepted" : "refused");
  }
  return 0;
}
