// The pairing of this user's program with this user's browser extension.
// Setup writes one secret, private to the user, into the program's data
// folder and into the extension's installed copies. Each session signs its
// requests and answers with a key made from that secret and the session's
// token (session_key), so that a tab acts only for a session this user's
// own program started: a program that merely holds the port and made up a
// token, or learnt one, cannot sign.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"

namespace wendlebox {

// Where the extension finds the secret, among its own files.
inline constexpr std::string_view kExtensionPairingFile = "pairing.json";

// The program's copy, in its private data folder.
std::filesystem::path pairing_key_file();

// The secret (32 random bytes as hex), made and saved on first use.
Result<std::string> pairing_key();

// The extension's pairing file: {"key":"<key>"}.
std::string extension_pairing(std::string_view key);
// The key an extension's pairing file holds, if it holds one.
std::optional<std::string> key_of_extension_pairing(std::string_view pairing_file);
// Whether a paired Firefox package holds `key` (the pairing file is stored
// in it as it is, uncompressed).
bool package_holds_key(std::string_view package, std::string_view key);

// A zip archive (Firefox's package of the extension, which it installs
// whole) with the pairing file added.
Result<std::string> paired_package(std::string_view package, std::string_view key);

}  // namespace wendlebox
