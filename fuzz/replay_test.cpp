// Replays each fuzz target's corpus in the normal test build, so every input
// that once mattered keeps being handled without a fault.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>

#include "fuzz/targets.h"
#include "support/support.h"

using namespace wendlebox;
namespace fs = std::filesystem;

namespace {

struct Target {
  const char* corpus;
  int (*run)(const std::uint8_t*, std::size_t);
};

void PrintTo(const Target& t, std::ostream* os) { *os << t.corpus; }

class FuzzCorpus : public testing::TestWithParam<Target> {};

TEST_P(FuzzCorpus, EveryInputIsHandledWithoutAFault) {
  std::size_t replayed = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(WENDLEBOX_SOURCE_DIR) / "fuzz/corpus" / GetParam().corpus)) {
    const std::string input = read_text(entry.path());
    EXPECT_EQ(GetParam().run(reinterpret_cast<const std::uint8_t*>(input.data()), input.size()), 0);
    ++replayed;
  }
  EXPECT_GE(replayed, 4u);
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzCorpus,
                         testing::Values(Target{"reply", fuzz_reply}, Target{"bridge", fuzz_bridge},
                                         Target{"state", fuzz_state}, Target{"paths", fuzz_paths}));

}  // namespace
