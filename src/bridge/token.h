// The session token: 16 random bytes as 32 lower-case hex characters.
#pragma once

#include <string>
#include <string_view>

#include "common/result.h"

Result<std::string> token();

// HMAC-SHA256 of `message` under `key`, as lower-case hex: how the program
// and the extension prove to each other that they hold the token.
std::string hmac_hex(std::string_view key, std::string_view message);
