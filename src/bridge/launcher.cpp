#include "bridge/launcher.h"

#include <sys/stat.h>

#include <chrono>
#include <fmt/format.h>
#include <thread>
#include <vector>

#include "common/env.h"
#include "common/files.h"
#include "common/folders.h"
#include "process/process.h"
#include "common/text.h"

namespace wendlebox {

namespace {

std::vector<std::string> opener_arguments(const std::string& opener, const std::string& url) {
  if (opener == "gio") return {opener, "open", url};
  if (opener == "cmd.exe") return {opener, "/C", "start", "", url};
  return {opener, url};
}

}  // namespace

std::optional<std::string> system_opener() {
  static const std::vector<std::string> linux_openers{"xdg-open", "gio", "sensible-browser"};
  static const std::vector<std::string> wsl_openers{"cmd.exe", "wslview", "xdg-open", "gio", "sensible-browser"};
  for (const std::string& candidate : is_wsl() ? wsl_openers : linux_openers)
    if (!programs_on_path(candidate).empty()) return candidate;
  return std::nullopt;
}

namespace {

// The snap that is the default browser, from its desktop file: snapd names
// them "<snap>_<app>.desktop".
std::optional<std::string> default_browser_snap() {
  auto asked = run_process(ProcessSpec{.argv = {"xdg-settings", "get", "default-web-browser"}, .errors = OutputMode::Discard});
  if (!asked || !asked->status.success()) return std::nullopt;
  const std::string_view id = trim(asked->output);
  const std::size_t underscore = id.find('_');
  if (!id.ends_with(".desktop") || underscore == std::string_view::npos || underscore == 0 ||
      id.find('/') != std::string_view::npos)
    return std::nullopt;
  return std::string(id.substr(0, underscore));
}

bool is_snap_name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

// The snap an entry of `snap_bin` runs: "<snap>" or "<snap>.<app>".
std::string snap_of_entry(std::string_view name) { return std::string(name.substr(0, name.find('.'))); }

}  // namespace

std::optional<std::string> snap_of_program(const std::filesystem::path& path, const std::filesystem::path& snap_bin) {
  // Each link on the way: /usr/bin/firefox may lead to /snap/bin/firefox.
  std::filesystem::path hop = path;
  for (int links = 0; links < 16; ++links) {
    if (hop.parent_path() == snap_bin) return snap_of_entry(hop.filename().string());
    std::error_code error;
    if (!std::filesystem::is_symlink(hop, error)) break;
    const std::filesystem::path target = std::filesystem::read_symlink(hop, error);
    if (error) break;
    hop = target.is_absolute() ? target : hop.parent_path() / target;
    hop = hop.lexically_normal();
  }
  // A script that hands over to a snap ("exec /snap/bin/chromium "$@"").
  auto head = read_file_prefix(hop, 8192);
  if (!head || !head->starts_with("#!")) return std::nullopt;
  const std::string marker = (snap_bin / "").string();
  for (std::size_t at = head->find(marker); at != std::string::npos; at = head->find(marker, at + 1)) {
    std::size_t end = at + marker.size();
    while (end < head->size() && (is_snap_name_char((*head)[end]) || (*head)[end] == '.')) ++end;
    if (end > at + marker.size()) return snap_of_entry(std::string_view(*head).substr(at + marker.size(), end - at - marker.size()));
  }
  return std::nullopt;
}

PageReader page_reader(const std::optional<LaunchCommand>& launch) {
  if (!launch || launch->argv.empty()) return {};
  const std::string& program = launch->argv.front();
  const std::string name = std::filesystem::path(program).filename().string();
  const bool opener = launch->origin == "opener" || name == "xdg-open" || name == "gio" || name == "sensible-browser";
  if (is_wsl() && (launch->origin == "opener" || name == "wslview" || name.ends_with(".exe")))
    return {PageReader::Kind::Windows};
  std::filesystem::path path = program;
  if (program.find('/') == std::string::npos) {
    const std::vector<std::filesystem::path> found = programs_on_path(program);
    if (!found.empty()) path = found.front();
  }
  if (auto snap = snap_of_program(path)) return {PageReader::Kind::Snap, *snap};
  if (opener)
    if (auto snap = default_browser_snap()) return {PageReader::Kind::Snap, *snap};
  return {};
}

namespace {

// A command line split into words, the address put for "%s" or added last.
std::vector<std::string> command_with_address(std::string_view command, const std::string& url) {
  std::vector<std::string> argv = split_shell_words(command, Backslash::Escapes);
  bool placed = false;
  for (std::string& word : argv)
    if (const std::size_t mark = word.find("%s"); mark != std::string::npos) {
      word.replace(mark, 2, url);
      placed = true;
    }
  if (!placed) argv.push_back(url);
  return argv;
}

}  // namespace

std::optional<LaunchCommand> launch_command(const std::string& url, const std::optional<std::string>& saved,
                                           const EnvLookup& env) {
  if (saved && !trim(*saved).empty()) return LaunchCommand{command_with_address(*saved, url), "--browser"};
  // $BROWSER lists commands to try in turn; the first is the user's choice.
  const std::string listed = env("BROWSER").value_or("");
  const std::string first = listed.substr(0, listed.find(':'));
  if (!trim(first).empty()) return LaunchCommand{command_with_address(first, url), "BROWSER"};
  const std::optional<std::string> opener = system_opener();
  if (!opener) return std::nullopt;
  return LaunchCommand{opener_arguments(*opener, url), "opener"};
}

Status open_address(const std::string& url, const std::optional<std::string>& saved) {
  const std::optional<LaunchCommand> launch = launch_command(url, saved);
  if (!launch) return failure("No browser opener found. Install xdg-open, gio, or sensible-browser and try again.");
  const std::string& opener = launch->argv.front();
  ProcessSpec command{.argv = launch->argv, .input = InputMode::Inherit,
                   .output = OutputMode::Discard, .errors = OutputMode::Discard};
  auto pid = start_process(command);
  if (!pid) return failure(fmt::format("Could not open your browser with {}: {}", opener, pid.error()));
  // An opener that fails does so at once; one that keeps running has handed
  // the URL over (or is the browser itself), so it is left alone.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  auto ended = try_wait_process(*pid);
  if (!ended) return failure("Could not check the browser opener: " + ended.error().message);
  if (*ended && !(*ended)->success())
    return failure(fmt::format("{} could not open ChatGPT. Check that a default browser is configured.", opener));
  return {};
}

}  // namespace wendlebox
