#include "frontend/installation.h"

#include <fmt/format.h>

#include "common/files.h"
#include "common/json.h"
#include "state/app_dirs.h"

namespace wendlebox {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kExportLine = "export PATH=\"$HOME/.local/bin:$PATH\"";
constexpr std::string_view kFishLine = "set -gx PATH $HOME/.local/bin $PATH";
constexpr std::string_view kPathMarker = "\n# Wendlebox CLI\n";
constexpr std::string_view kCompletionMarker = "\n# Wendlebox completion\n";

// `path` as one word in bash or zsh: in single quotes, each quote closed,
// escaped and reopened.
std::string shell_quoted(const fs::path& path) {
  std::string quoted = "'";
  for (char c : path.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

Result<fs::path> running_executable() {
  std::error_code error;
  fs::path path = fs::read_symlink("/proc/self/exe", error);
  if (error) return os_failure(error.value());
  return path;
}

// Beside the program (a build or an unpacked download), else where an
// installation puts shared files (<prefix>/bin -> <prefix>/share/wendlebox).
std::optional<fs::path> extension_folder(const fs::path& running) {
  for (const fs::path& folder : {running.parent_path() / "extension",
                                 running.parent_path().parent_path() / "share" / "wendlebox" / "extension"})
    if (fs::exists(folder / "manifest.json")) return folder;
  return std::nullopt;
}

fs::path installed_extension_folder() { return data_dir() / "extension"; }

std::optional<fs::path> extension_to_load() {
  return fs::exists(installed_extension_folder() / "manifest.json") ? installed_extension_folder()
                                                                    : running_extension_folder();
}

std::optional<std::string> extension_version(const fs::path& folder) {
  auto manifest = read_file(folder / "manifest.json");
  if (!manifest) return std::nullopt;
  auto value = parse_json(*manifest);
  if (!value || !value->is_object() || !value->contains("version") || !(*value)["version"].is_string()) return std::nullopt;
  return (*value)["version"].get<std::string>();
}

std::optional<fs::path> running_extension_folder() {
  auto running = running_executable();
  return running ? extension_folder(*running) : std::nullopt;
}

std::optional<fs::path> firefox_package(const fs::path& running) {
  for (const fs::path& folder : {running.parent_path(), running.parent_path().parent_path() / "share" / "wendlebox"}) {
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with("wendlebox-") && name.ends_with(".xpi")) return entry.path();
    }
  }
  return std::nullopt;
}

fs::path installed_firefox_package() { return data_dir() / "wendlebox.xpi"; }

UserFiles user_files(const fs::path& home) {
  const fs::path data_home = data_dir().parent_path();
  return UserFiles{.program = home / ".local" / "bin" / "wendlebox",
                   .extension = installed_extension_folder(),
                   .firefox_package = installed_firefox_package(),
                   // man finds <dir>/../share/man for each <dir> on PATH: ~/.local/bin is.
                   .manual = home / ".local" / "share" / "man" / "man1" / "wendlebox.1",
                   .bash_completion = data_home / "bash-completion" / "completions" / "wendlebox",
                   .zsh_completion = data_home / "zsh" / "site-functions" / "_wendlebox",
                   // fish reads <XDG_CONFIG_HOME or ~/.config>/fish, as app_dir is found.
                   .fish_completion = app_dir().parent_path() / "fish" / "completions" / "wendlebox.fish"};
}

std::vector<ShellBlock> shell_blocks(const fs::path& home) {
  const UserFiles files = user_files(home);
  const auto block = [](std::string_view marker, std::string_view line) { return fmt::format("{}{}\n", marker, line); };
  // bash sources its file itself: the bash-completion package, which would
  // load it on demand, is often missing. zsh completes once compinit has
  // read its folder, or, when the user's start-up ran compinit already,
  // once the function is registered.
  const std::string zsh_folder = shell_quoted(files.zsh_completion.parent_path());
  using enum ShellBlock::Kind;
  return {{home / ".profile", block(kPathMarker, kExportLine), Path},
          {home / ".bashrc", block(kPathMarker, kExportLine), Path},
          {home / ".zshrc", block(kPathMarker, kExportLine), Path},
          {home / ".config" / "fish" / "config.fish", block(kPathMarker, kFishLine), Path},
          {home / ".bashrc",
           block(kCompletionMarker, fmt::format("[ -r {0} ] && . {0}", shell_quoted(files.bash_completion))),
           Completion},
          {home / ".zshrc",
           block(kCompletionMarker,
                 fmt::format("fpath=({} $fpath); if (( $+functions[compdef] )); then autoload -Uz _wendlebox && "
                             "compdef _wendlebox wendlebox; else autoload -Uz compinit && compinit; fi",
                             zsh_folder)),
           Completion}};
}

bool block_in_place(const ShellBlock& block) {
  return read_file(block.file).value_or("").find(block.text) != std::string::npos;
}

// Installed by the package manager or `cmake --install`: the program in
// <prefix>/bin with its extension in <prefix>/share, not beside it, nor in
// the data folder where setup puts the user's copy.
bool is_system_installation(const fs::path& running) {
  const std::optional<fs::path> extension = extension_folder(running);
  return extension && *extension != running.parent_path() / "extension" && *extension != installed_extension_folder();
}

}  // namespace wendlebox
