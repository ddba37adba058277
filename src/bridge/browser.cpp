#include "bridge/browser.h"

#include <sys/stat.h>

#include <chrono>
#include <fmt/format.h>
#include <thread>
#include <vector>

#include "common/env.h"
#include "common/files.h"
#include "common/folders.h"
#include "common/process.h"
#include "common/text.h"

namespace {

std::vector<std::string> opener_arguments(const std::string& opener, const std::string& url) {
  if (opener == "gio") return {opener, "open", url};
  if (opener == "cmd.exe") return {opener, "/C", "start", "", url};
  return {opener, url};
}

}  // namespace

std::optional<std::string> browser_opener() {
  static const std::vector<std::string> linux_openers{"xdg-open", "gio", "sensible-browser"};
  static const std::vector<std::string> wsl_openers{"cmd.exe", "wslview", "xdg-open", "gio", "sensible-browser"};
  for (const std::string& candidate : is_wsl() ? wsl_openers : linux_openers)
    if (!programs_on_path(candidate).empty()) return candidate;
  return std::nullopt;
}

bool default_browser_is_snap() {
  auto asked = run_process(ProcessSpec{.argv = {"xdg-settings", "get", "default-web-browser"}, .errors = OutputMode::Discard});
  if (!asked || !asked->status.success()) return false;
  // snapd names its desktop files "<snap>_<app>.desktop".
  const std::string_view id = trim(asked->output);
  return id.ends_with(".desktop") && id.find('_') != std::string_view::npos && id.find('/') == std::string_view::npos;
}

namespace {

// A command line split at blanks, the address put for "%s" or added last.
std::vector<std::string> command_with_address(std::string_view command, const std::string& url) {
  std::vector<std::string> argv;
  bool placed = false;
  for (std::size_t at = skip_spaces(command, 0); at < command.size(); at = skip_spaces(command, at)) {
    const std::size_t end = skip_word(command, at);
    std::string word(command.substr(at, end - at));
    if (const std::size_t mark = word.find("%s"); mark != std::string::npos) {
      word.replace(mark, 2, url);
      placed = true;
    }
    argv.push_back(std::move(word));
    at = end;
  }
  if (!placed) argv.push_back(url);
  return argv;
}

}  // namespace

std::optional<BrowserLaunch> browser_launch(const std::string& url, const std::optional<std::string>& saved,
                                            const EnvLookup& env) {
  if (saved && !trim(*saved).empty()) return BrowserLaunch{command_with_address(*saved, url), "--browser"};
  // $BROWSER lists commands to try in turn; the first is the user's choice.
  const std::string listed = env("BROWSER").value_or("");
  const std::string first = listed.substr(0, listed.find(':'));
  if (!trim(first).empty()) return BrowserLaunch{command_with_address(first, url), "BROWSER"};
  const std::optional<std::string> opener = browser_opener();
  if (!opener) return std::nullopt;
  return BrowserLaunch{opener_arguments(*opener, url), "opener"};
}

Status open_browser(const std::string& url, const std::optional<std::string>& saved) {
  const std::optional<BrowserLaunch> launch = browser_launch(url, saved);
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
  if (!ended) return failure("Could not check the browser opener: " + ended.error());
  if (*ended && !(*ended)->success())
    return failure(fmt::format("{} could not open ChatGPT. Check that a default browser is configured.", opener));
  return {};
}
