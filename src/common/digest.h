// SHA-256, for telling whether bytes are still the ones seen earlier: a
// kept copy before it is written back, a file before an edit replaces it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <nettle/sha2.h>

namespace wendlebox {

using Sha256 = std::array<std::uint8_t, SHA256_DIGEST_SIZE>;

// The digest of bytes that come in pieces.
class Sha256Hasher {
 public:
  Sha256Hasher() { sha256_init(&context_); }
  void add(std::string_view bytes) {
    sha256_update(&context_, bytes.size(), reinterpret_cast<const std::uint8_t*>(bytes.data()));
  }
  Sha256 finish() {
    Sha256 digest;
    sha256_digest(&context_, digest.size(), digest.data());
    return digest;
  }

 private:
  sha256_ctx context_;
};

inline Sha256 sha256_of(std::string_view bytes) {
  Sha256Hasher hasher;
  hasher.add(bytes);
  return hasher.finish();
}

// The first `bytes` bytes of a digest in lower-case hex: a name or a record
// that tells contents apart.
inline std::string hex_of(const Sha256& digest, std::size_t bytes = SHA256_DIGEST_SIZE) {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (std::size_t i = 0; i < bytes && i < digest.size(); ++i) {
    hex += kDigits[digest[i] >> 4];
    hex += kDigits[digest[i] & 0xf];
  }
  return hex;
}

}  // namespace wendlebox
