#include "frontend/doctor.h"

#include <unistd.h>

#include <algorithm>

#include <fmt/format.h>

#include "bridge/launcher.h"
#include "bridge/pairing.h"
#include "common/files.h"
#include "common/env.h"
#include "common/folders.h"
#include "common/printer.h"
#include "common/text.h"
#include "frontend/installed_browsers.h"
#include "frontend/installation.h"
#include "git/git.h"
#include "i18n/i18n.h"
#include "state/allowed.h"
#include "state/app_dirs.h"
#include "state/chats.h"
#include "state/running_sessions.h"
#include "state/settings.h"
#include "state/state_file.h"
#include "frontend/messages.h"

namespace wendlebox {

namespace {

namespace fs = std::filesystem;

using namespace messages::frontend;

// The sessions running now, each with its folder, process and port.
void report_sessions(const Printer& out) {
  const std::vector<RunningSession> sessions = running_sessions();
  if (sessions.empty()) {
    out << i18n::tr(kNoSessionRunning) << '\n';
    return;
  }
  out << i18n::tr(kSessionsRunning) << '\n';
  for (const RunningSession& session : sessions) {
    std::string details = fmt::format(fmt::runtime(i18n::tr(kSessionProcess)), session.pid);
    if (session.port) details += ", " + fmt::format(fmt::runtime(i18n::tr(kSessionPort)), *session.port);
    out << "  " << one_line_text(friendly_folder(session.folder)) << " (" << details << ")\n";
  }
}

std::string indented(const std::string& text) {
  std::string result = "  ";
  for (char c : text) result += c == '\n' ? std::string("\n  ") : std::string(1, c);
  return result;
}

// Which browser a session opens, where the extension was seen, and how to
// add it to each browser found.
void report_browsers(const Printer& out, const std::optional<fs::path>& extension, const std::optional<fs::path>& package) {
  auto settings = load_settings();
  const std::optional<std::string> saved = settings ? settings->browser : std::nullopt;
  if (const std::optional<LaunchCommand> launch = launch_command("", saved)) {
    const i18n::Text& origin = launch->origin == "--browser" ? kChosen : launch->origin == "BROWSER" ? kFromEnvironment : kSystemOpener;
    out << fmt::format("{} {} ({})\n", i18n::tr(kSessionBrowser), one_line_text(launch->argv.front()), i18n::tr(origin));
    if (saved)
      if (const std::optional<std::string> missing = missing_browser_program(*saved))
        out.line(Colour::warning, fmt::format(fmt::runtime(i18n::tr(kBrowserGone)), one_line_text(*missing)));
  }
  out << i18n::tr(kSeenIn) << ' '
      << one_line_text(last_seen_extension_browser().value_or(std::string(i18n::tr(kNotSeenYet)))) << '\n';
  const std::vector<InstalledBrowser> browsers = installed_browsers();
  std::string names;
  for (const InstalledBrowser& browser : browsers) names += (names.empty() ? "" : ", ") + browser.command;
  out << i18n::tr(kBrowsersFound) << ' ' << (names.empty() ? std::string(i18n::tr(kNoBrowserFound)) : names) << '\n';
  if (!extension) return;
  for (const InstalledBrowser& browser : browsers)
    out << indented(extension_steps(browser.kind, browser.command, *extension, package)) << '\n';
}

// Whether the extension setup installed (the folder, and the Firefox
// package) holds the program's pairing key: a session is refused to a copy
// that holds another. Before setup nothing is paired, and nothing is said.
bool check_pairing(const Printer& out) {
  const fs::path folder = installed_extension_folder();
  const fs::path package = installed_firefox_package();
  const bool has_folder = fs::exists(folder / "manifest.json"), has_package = fs::exists(package);
  if (!has_folder && !has_package) return true;
  auto stored = read_file(pairing_key_file());
  const std::string key = stored ? *stored : "";
  const auto folder_key = [&]() -> std::optional<std::string> {
    auto file = read_file(folder / kExtensionPairingFile);
    return file ? key_of_extension_pairing(*file) : std::nullopt;
  };
  std::optional<fs::path> differs;
  if (has_folder && folder_key() != key) {
    differs = folder;
  } else if (has_package) {
    auto bytes = read_file(package);
    if (!bytes || !package_holds_key(*bytes, key)) differs = package;
  }
  if (!differs) {
    out << i18n::tr(kPairingLabel) << ' ' << i18n::tr(kPairingMatches) << '\n';
    return true;
  }
  out.line(Colour::warning, fmt::format(fmt::runtime(i18n::tr(kPairingDiffers)), friendly_folder(*differs)));
  return false;
}

// Whether a state file would load; prints its line. A missing file is fine
// (the defaults apply).
bool check_state_file(const Printer& out, const i18n::Text& label, const fs::path& path, const Status& loaded) {
  std::string state;
  if (!loaded) state = fmt::format(fmt::runtime(i18n::tr(kFileBroken)), visible_text(loaded.error().message));
  else state = i18n::tr(fs::exists(path) ? kFileFine : kFileAbsent);
  out << fmt::format("{} {} ({})\n", i18n::tr(label), friendly_folder(path), state);
  return loaded.has_value();
}

// A folder the program has still to create counts as writable when the
// nearest folder that exists is.
bool check_writable(const Printer& out, const i18n::Text& label, const fs::path& folder) {
  fs::path existing = folder;
  std::error_code ignored;
  while (!fs::exists(existing, ignored) && existing.has_parent_path() && existing != existing.parent_path())
    existing = existing.parent_path();
  const bool writable = ::access(existing.c_str(), W_OK) == 0;
  out << fmt::format("{} {} ({})\n", i18n::tr(label), friendly_folder(folder),
                       writable ? std::string(i18n::tr(kWritable))
                                : fmt::format(fmt::runtime(i18n::tr(kNotWritable)), existing.string()));
  return writable;
}

template <class T>
Status loaded(const Result<T>& value) {
  if (!value) return std::unexpected(value.error());
  return {};
}

// A damaged chat list stops nothing: reading it keeps every readable chat
// and sets the damaged file aside, which it says.
Status loaded_chats(const Printer& out) {
  auto text = read_file_if_exists(chats_path());
  if (!text) return failure(state_file_problem("Could not read", chats_path(), text.error()));
  if (*text && !decode_chats(**text)) (void)load_chats(out);
  return {};
}

void check_path(const Printer& out, const std::optional<fs::path>& running) {
  const std::vector<fs::path> copies = programs_on_path("wendlebox");
  if (copies.empty()) {
    out << fmt::format(fmt::runtime(i18n::tr(kNotOnPath)),
                       running ? running->parent_path().string() : std::string("$HOME/.local/bin"))
        << '\n';
    return;
  }
  out << i18n::tr(kOnPath) << ' ' << friendly_folder(copies.front()) << '\n';
  std::vector<fs::path> distinct;
  for (const fs::path& copy : copies) {
    std::error_code ignored;
    const fs::path real = fs::canonical(copy, ignored);
    if (std::ranges::find(distinct, real) == distinct.end()) distinct.push_back(real);
  }
  if (distinct.size() > 1)
    out << out.paint(Colour::warning, fmt::format(fmt::runtime(i18n::tr(kTwoCopies)), distinct.size(),
                                                  friendly_folder(copies.front())))
        << '\n';
}

// The manual page, and completion for the user's shell: where setup puts
// them, or where the system's package did (under <prefix>/share).
void check_manual_and_completion(const Printer& out, const std::optional<fs::path>& running) {
  const std::optional<std::string> home = process_env("HOME");
  if (!home) return;
  const UserFiles files = user_files(*home);
  const fs::path share = running ? running->parent_path().parent_path() / "share" : fs::path("/usr/share");
  const bool system = running && is_system_installation(*running);
  const fs::path system_manual = share / "man" / "man1" / "wendlebox.1.gz";
  if (fs::exists(files.manual) || (system && fs::exists(system_manual)))
    out << i18n::tr(kManual) << ' ' << friendly_folder(fs::exists(files.manual) ? files.manual : system_manual) << '\n';
  else
    out << out.paint(Colour::warning, i18n::tr(kNoManual)) << '\n';
  const std::string shell = fs::path(process_env("SHELL").value_or("")).filename().string();
  std::optional<fs::path> loaded;
  const auto sourced_by = [&](const fs::path& startup, const fs::path& file) {
    for (const ShellBlock& block : shell_blocks(*home))
      if (block.file == startup && block.text.find(file.parent_path().string()) != std::string::npos &&
          block_in_place(block))
        return true;
    return false;
  };
  if (shell == "bash") {
    // The bash-completion package loads a system file, or the user's.
    const bool package = fs::exists("/usr/share/bash-completion/bash_completion");
    const fs::path system_file = share / "bash-completion" / "completions" / "wendlebox";
    if (fs::exists(files.bash_completion) && (package || sourced_by(fs::path(*home) / ".bashrc", files.bash_completion)))
      loaded = files.bash_completion;
    else if (system && package && fs::exists(system_file))
      loaded = system_file;
  } else if (shell == "zsh") {
    const fs::path system_file = share / "zsh" / "vendor-completions" / "_wendlebox";
    if (fs::exists(files.zsh_completion) && sourced_by(fs::path(*home) / ".zshrc", files.zsh_completion))
      loaded = files.zsh_completion;
    else if (system && fs::exists(system_file))
      loaded = system_file;
  } else if (shell == "fish") {
    const fs::path system_file = share / "fish" / "vendor_completions.d" / "wendlebox.fish";
    if (fs::exists(files.fish_completion)) loaded = files.fish_completion;
    else if (system && fs::exists(system_file)) loaded = system_file;
  } else {
    return;  // a shell without completion for wendlebox
  }
  if (loaded)
    out << fmt::format(fmt::runtime(i18n::tr(kCompletion)), shell) << ' ' << friendly_folder(*loaded) << '\n';
  else
    out << out.paint(Colour::warning, fmt::format(fmt::runtime(i18n::tr(kNoCompletion)), shell)) << '\n';
}

}  // namespace

Status doctor(const Printer& out) {
  auto running = running_executable();
  out << "CLI: " << (running ? running->string() : "unknown") << '\n';
  const std::optional<std::string> opener = system_opener();
  if (opener)
    out << i18n::tr(kOpenerLabel) << ' ' << *opener << '\n';
  else
    out << i18n::tr(kNoOpener) << '\n';
  const bool git_found = git_output(".", {"--version"}).has_value();
  out << "Git: " << i18n::tr(git_found ? kGitAvailable : kGitMissing) << '\n';
  const std::optional<fs::path> extension = extension_to_load();
  if (extension) {
    const std::optional<std::string> seen = last_seen_extension_version();
    const std::optional<std::string> seen_at = seen ? extension_seen_time() : std::nullopt;
    out << i18n::tr(kExtensionFolderLabel) << ' ' << friendly_folder(*extension) << '\n'
        << i18n::tr(kExtensionVersion) << ' ' << one_line_text(extension_version(*extension).value_or("?")) << "; "
        << i18n::tr(kSeenInBrowser) << ' ' << (seen ? one_line_text(*seen) : std::string(i18n::tr(kNotSeenYet)))
        << (seen_at ? " (" + *seen_at + ")" : "") << '\n';
  }
  const bool paired = check_pairing(out);
  out << i18n::tr(kExtensionHint) << '\n';
  const std::optional<fs::path> package = fs::exists(installed_firefox_package())
                                              ? std::optional<fs::path>(installed_firefox_package())
                                              : (running ? firefox_package(*running) : std::nullopt);
  report_browsers(out, extension, package);
  check_path(out, running ? std::optional<fs::path>(*running) : std::nullopt);
  check_manual_and_completion(out, running ? std::optional<fs::path>(*running) : std::nullopt);
  bool usable = opener.has_value() && paired;
  usable &= check_state_file(out, kSettings, settings_path(), loaded(load_settings()));
  usable &= check_state_file(out, kAllowList, allowed_path(), loaded(load_allowed()));
  usable &= check_state_file(out, kChatList, chats_path(), loaded_chats(out));
  out << i18n::tr(kChatLogs) << '\n';
  report_sessions(out);
  usable &= check_writable(out, kConfigFolder, app_dir());
  usable &= check_writable(out, kDataFolder, data_dir());
  if (!usable) return failure(std::string(i18n::tr(kSessionBlocked)));
  return {};
}

}  // namespace wendlebox
