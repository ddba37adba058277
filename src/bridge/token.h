// The session token: 16 random bytes as 32 lower-case hex characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/result.h"

namespace wendlebox {

Result<std::string> token();

// HMAC-SHA256 of `message` under `key`, as lower-case hex: how the program
// and the extension prove to each other that they hold the session's key.
std::string hmac_hex(std::string_view key, std::string_view message);

// The key that signs one session's requests and answers: only a program and
// an extension that share the pairing key (bridge/pairing.h) can make it
// from the session's token.
std::string session_key(std::string_view pairing_key, std::string_view token);

// The pairing key's identifier, which the extension sends beside its
// signature so that a program holding another key can say so. It names the
// key without giving anything of it away.
inline constexpr std::size_t kPairingIdSize = 16;
std::string pairing_id(std::string_view pairing_key);

}  // namespace wendlebox
