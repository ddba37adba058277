#include "frontend/installed_browsers.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <utility>

#include <fmt/format.h>

#include "bridge/launcher.h"
#include "common/files.h"
#include "common/folders.h"
#include "i18n/i18n.h"
#include "frontend/messages.h"

namespace wendlebox {

namespace {

namespace fs = std::filesystem;

// Debian's names and the vendors' own; ESR first, so that a `firefox` that
// is a link to it counts as ESR.
constexpr std::array<std::pair<std::string_view, BrowserKind>, 15> kKnownBrowsers{{
    {"firefox-esr", BrowserKind::FirefoxUnsigned},
    {"firefox-devedition", BrowserKind::FirefoxUnsigned},
    {"firefox-developer-edition", BrowserKind::FirefoxUnsigned},
    {"firefox-nightly", BrowserKind::FirefoxUnsigned},
    {"firefox", BrowserKind::FirefoxRelease},
    {"chromium", BrowserKind::Chromium},
    {"chromium-browser", BrowserKind::Chromium},
    {"google-chrome", BrowserKind::Chromium},
    {"google-chrome-stable", BrowserKind::Chromium},
    {"microsoft-edge", BrowserKind::Chromium},
    {"microsoft-edge-stable", BrowserKind::Chromium},
    {"brave-browser", BrowserKind::Chromium},
    {"vivaldi", BrowserKind::Chromium},
    {"opera", BrowserKind::Chromium},
    {"thorium-browser", BrowserKind::Chromium},
}};

using namespace messages::frontend;

// Debian's firefox-esr diverts `firefox` to a script that runs firefox.real
// when a release Firefox is installed beside it, else the ESR itself.
bool is_esr_wrapper(const fs::path& program) {
  auto start = read_file_prefix(program, 512);
  return start && start->find("exec firefox-esr") != std::string::npos &&
         !fs::exists(program.parent_path() / "firefox.real");
}

}  // namespace

std::vector<InstalledBrowser> installed_browsers() {
  std::vector<InstalledBrowser> found;
  std::vector<fs::path> programs;
  for (const auto& [command, kind] : kKnownBrowsers) {
    const std::vector<fs::path> copies = programs_on_path(command);
    if (copies.empty()) continue;
    std::error_code ignored;
    const fs::path program = fs::canonical(copies.front(), ignored);
    if (std::ranges::find(programs, program) != programs.end() || is_esr_wrapper(program)) continue;
    programs.push_back(program);
    found.push_back({std::string(command), kind});
  }
  return found;
}

std::string extension_steps(BrowserKind kind, const std::string& command, const fs::path& folder,
                            const std::optional<fs::path>& package) {
  if (kind == BrowserKind::Chromium)
    return fmt::format(fmt::runtime(i18n::tr(kChromiumSteps)), command, friendly_folder(folder));
  if (!package) return fmt::format(fmt::runtime(i18n::tr(kNoPackage)), command);
  return fmt::format(fmt::runtime(i18n::tr(kind == BrowserKind::FirefoxUnsigned ? kUnsignedSteps : kReleaseSteps)),
                     command, friendly_folder(*package));
}

std::optional<std::string> missing_browser_program(const std::string& command) {
  const std::optional<LaunchCommand> launch = launch_command("", command);
  if (!launch || launch->argv.empty()) return std::nullopt;
  const std::string& program = launch->argv.front();
  if (program.find('/') != std::string::npos) {
    if (::access(program.c_str(), X_OK) == 0 && !std::filesystem::is_directory(program)) return std::nullopt;
  } else if (!programs_on_path(program).empty()) {
    return std::nullopt;
  }
  return program;
}

}  // namespace wendlebox
