// A plain main() for AFL++'s classic instrumentation: one input from
// standard input per run (the fork server makes runs cheap). The build
// names the target with FUZZ_TARGET.
#include <cstdint>
#include <iostream>
#include <iterator>
#include <string>

#include "fuzz/targets.h"

using namespace wendlebox;

int main() {
  const std::string input{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
  return FUZZ_TARGET(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}
