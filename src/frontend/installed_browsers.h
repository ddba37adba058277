// The browsers installed on this machine, and how the extension is added to
// each: Chromium's family loads the unpacked folder; Firefox ESR, Developer
// Edition and Nightly keep the unsigned .xpi once signatures are not
// required; Firefox's release build loads it only until it restarts.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace wendlebox {

enum class BrowserKind { Chromium, FirefoxUnsigned, FirefoxRelease };

struct InstalledBrowser {
  std::string command;  // as found on PATH
  BrowserKind kind;
};

// The known browsers on PATH, one entry per program (a name that is a link
// to another counts once).
std::vector<InstalledBrowser> installed_browsers();

// The steps that add the extension to a browser of `kind`: `folder` is the
// unpacked extension, `package` the Firefox .xpi (if there is one).
std::string extension_steps(BrowserKind kind, const std::string& command, const std::filesystem::path& folder,
                            const std::optional<std::filesystem::path>& package);

// The program a browser command starts (its first word) when it is not
// found: neither on PATH nor, for a path, an executable file.
std::optional<std::string> missing_browser_program(const std::string& command);

}  // namespace wendlebox
