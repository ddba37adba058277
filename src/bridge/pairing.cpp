#include "bridge/pairing.h"

#include <cstdint>

#include "common/files.h"
#include "common/json.h"
#include "common/random.h"
#include "state/app_dirs.h"

namespace wendlebox {

namespace {

constexpr std::size_t kKeyBytes = 32;

bool is_key(std::string_view text) {
  return text.size() == 2 * kKeyBytes && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// ---- Zip records (little-endian), as far as adding one stored file needs ----

constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::uint32_t kDirectoryEntry = 0x02014b50;
constexpr std::uint32_t kDirectoryEnd = 0x06054b50;
constexpr std::size_t kDirectoryEndSize = 22;
constexpr std::uint16_t kJanuaryFirst1980 = 0x21;  // MS-DOS date; the time is 0

void put16(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value & 0xff);
  out += static_cast<char>((value >> 8) & 0xff);
}

void put32(std::string& out, std::uint32_t value) {
  put16(out, value & 0xffff);
  put16(out, value >> 16);
}

std::uint32_t get16(std::string_view in, std::size_t at) {
  return static_cast<std::uint8_t>(in[at]) | static_cast<std::uint32_t>(static_cast<std::uint8_t>(in[at + 1])) << 8;
}

std::uint32_t get32(std::string_view in, std::size_t at) { return get16(in, at) | get16(in, at + 2) << 16; }

std::uint32_t crc32(std::string_view data) {
  std::uint32_t crc = 0xffffffffu;
  for (const unsigned char byte : data) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// The fields that a file's local header and its directory entry share,
// from "version needed" to the name's length.
void put_file_fields(std::string& out, std::string_view name, std::string_view content) {
  put16(out, 20);  // version needed: 2.0
  put16(out, 0);   // flags
  put16(out, 0);   // stored, not compressed
  put16(out, 0);
  put16(out, kJanuaryFirst1980);
  put32(out, crc32(content));
  put32(out, static_cast<std::uint32_t>(content.size()));
  put32(out, static_cast<std::uint32_t>(content.size()));
  put16(out, static_cast<std::uint32_t>(name.size()));
  put16(out, 0);  // extra field length
}

}  // namespace

std::filesystem::path pairing_key_file() { return data_dir() / "pairing-key"; }

Result<std::string> pairing_key() {
  if (auto stored = read_file(pairing_key_file()); stored && is_key(*stored)) return *stored;
  auto key = random_hex(kKeyBytes);
  if (!key) return key;
  if (auto written = write_file_whole(pairing_key_file(), *key); !written) return std::unexpected(written.error());
  return key;
}

std::string extension_pairing(std::string_view key) { return Json{{"key", key}}.dump(); }

std::optional<std::string> key_of_extension_pairing(std::string_view pairing_file) {
  auto value = parse_json(pairing_file);
  if (!value || !value->is_object() || !value->contains("key") || !(*value)["key"].is_string()) return std::nullopt;
  std::string key = (*value)["key"].get<std::string>();
  return is_key(key) ? std::optional(std::move(key)) : std::nullopt;
}

bool package_holds_key(std::string_view package, std::string_view key) {
  return is_key(key) && package.find(extension_pairing(key)) != std::string_view::npos;
}

Result<std::string> paired_package(std::string_view package, std::string_view key) {
  // The directory's end record closes the archive (this one has no comment).
  const auto damaged = [] { return failure("The Firefox package of the extension is damaged"); };
  if (package.size() < kDirectoryEndSize) return damaged();
  const std::size_t end = package.size() - kDirectoryEndSize;
  const std::uint32_t entries = get16(package, end + 10);
  const std::uint32_t directory_size = get32(package, end + 12);
  const std::uint32_t directory_at = get32(package, end + 16);
  if (get32(package, end) != kDirectoryEnd || get16(package, end + 20) != 0 || directory_at > end ||
      end - directory_at != directory_size || entries >= 0xffff)
    return damaged();
  const std::string_view name = kExtensionPairingFile;
  const std::string content = extension_pairing(key);

  std::string file;
  put32(file, kLocalHeader);
  put_file_fields(file, name, content);
  file += name;
  file += content;

  std::string entry;
  put32(entry, kDirectoryEntry);
  put16(entry, 0x0314);  // made by Unix, zip 2.0: the attributes below are a mode
  put_file_fields(entry, name, content);
  put16(entry, 0);  // comment length
  put16(entry, 0);  // disk
  put16(entry, 0);  // internal attributes
  put32(entry, 0100600u << 16);
  put32(entry, directory_at);  // where the new file's header goes
  entry += name;

  std::string paired(package.substr(0, directory_at));
  paired += file;
  paired += package.substr(directory_at, directory_size);
  paired += entry;
  put32(paired, kDirectoryEnd);
  put16(paired, 0);
  put16(paired, 0);
  put16(paired, entries + 1);
  put16(paired, entries + 1);
  put32(paired, directory_size + static_cast<std::uint32_t>(entry.size()));
  put32(paired, directory_at + static_cast<std::uint32_t>(file.size()));
  put16(paired, 0);
  return paired;
}

}  // namespace wendlebox
