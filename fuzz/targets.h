// The fuzz targets: each takes one input and returns 0; a fault aborts.
// AFL++ builds one program per target (afl_main.cpp); the test build
// replays each target's corpus (replay_test.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

// ChatGPT's replies, the extension's results and the JSON reader.
int fuzz_reply(const std::uint8_t* data, std::size_t size);
// The bridge as a whole, over real loopback connections.
int fuzz_bridge(const std::uint8_t* data, std::size_t size);
// The readers of every state file: settings, allow list, chat lists, chat log lines.
int fuzz_state(const std::uint8_t* data, std::size_t size);
// The path gate of every action: a first byte (bit 0: the action writes), then the requested path.
int fuzz_paths(const std::uint8_t* data, std::size_t size);
