// Random text from the kernel's random source.
#pragma once

#include <cstddef>
#include <string>

#include "common/result.h"

namespace wendlebox {

// `bytes` random bytes as lower-case hex (getrandom, else /dev/urandom).
Result<std::string> random_hex(std::size_t bytes);

}  // namespace wendlebox
