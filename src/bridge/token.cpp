#include "bridge/token.h"

#include <cstdint>

#include <fmt/format.h>
#include <nettle/hmac.h>

#include "common/random.h"

namespace wendlebox {

Result<std::string> token() { return random_hex(16); }

std::string hmac_hex(std::string_view key, std::string_view message) {
  hmac_sha256_ctx context;
  hmac_sha256_set_key(&context, key.size(), reinterpret_cast<const std::uint8_t*>(key.data()));
  hmac_sha256_update(&context, message.size(), reinterpret_cast<const std::uint8_t*>(message.data()));
  std::uint8_t digest[SHA256_DIGEST_SIZE];
  hmac_sha256_digest(&context, sizeof digest, digest);
  std::string hex;
  for (const std::uint8_t byte : digest) hex += fmt::format("{:02x}", byte);
  return hex;
}

std::string session_key(std::string_view pairing_key, std::string_view token) {
  return hmac_hex(pairing_key, fmt::format("session\n{}", token));
}

std::string pairing_id(std::string_view pairing_key) {
  return hmac_hex(pairing_key, "pairing id").substr(0, kPairingIdSize);
}

}  // namespace wendlebox
