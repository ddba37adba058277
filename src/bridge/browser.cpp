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

Status open_browser(const std::string& url) {
  const std::optional<std::string> opener = browser_opener();
  if (!opener) return failure("No browser opener found. Install xdg-open, gio, or sensible-browser and try again.");
  ProcessSpec command{.argv = opener_arguments(*opener, url), .input = InputMode::Inherit,
                   .output = OutputMode::Discard, .errors = OutputMode::Discard};
  auto pid = start_process(command);
  if (!pid) return failure(fmt::format("Could not open your browser with {}: {}", *opener, pid.error()));
  // An opener that fails does so at once; one that keeps running has handed
  // the URL over (or is the browser itself), so it is left alone.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  auto ended = try_wait_process(*pid);
  if (!ended) return failure("Could not check the browser opener: " + ended.error());
  if (*ended && !(*ended)->success())
    return failure(fmt::format("{} could not open ChatGPT. Check that a default browser is configured.", *opener));
  return {};
}
