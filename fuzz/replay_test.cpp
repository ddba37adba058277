// Replays the fuzz corpus in the normal test build, so every input that
// once mattered keeps being decoded without a crash.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>

#include "support/support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

TEST(FuzzCorpus, EveryInputDecodesWithoutCrashing) {
  std::size_t replayed = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(WENDLEBOX_SOURCE_DIR) / "fuzz/corpus")) {
    const std::string input = read_text(entry.path());
    EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size()), 0);
    ++replayed;
  }
  EXPECT_GE(replayed, 6u);
}
