// The environment, the platform and the clock, read through seams so that
// tests can set them without touching the process.
#pragma once

#include <cstdint>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

namespace wendlebox {

using EnvLookup = std::function<std::optional<std::string>(std::string_view)>;

// The process environment; an unset variable is nullopt, an empty one "".
std::optional<std::string> process_env(std::string_view name);

// Seconds since the Unix epoch, 0 when the clock reads earlier.
std::uint64_t unix_seconds();

// Whether this Linux runs inside WSL, where the browser, screenshots and
// sounds are reached through Windows programs.
bool is_wsl();


}  // namespace wendlebox
