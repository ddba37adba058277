#include "frontend/setup.h"
#include "common/printer.h"

#include <algorithm>
#include <iostream>

#include <fmt/format.h>

#include "bridge/pairing.h"
#include "common/env.h"
#include "common/files.h"
#include "common/folders.h"
#include "process/process.h"
#include "common/text.h"
#include "frontend/installed_browsers.h"
#include "frontend/help.h"
#include "frontend/installation.h"
#include "frontend/setup_shell.h"
#include "i18n/i18n.h"
#include "state/allowed.h"
#include "state/settings.h"
#include "frontend/messages.h"

namespace wendlebox {

using namespace messages::frontend;

namespace {

namespace fs = std::filesystem;


// A failure that names the file or folder it happened to.
std::unexpected<Error> failed_at(const fs::path& path, std::string_view error) {
  return failure(fmt::format("Could not install {}: {}", path.string(), error));
}
std::unexpected<Error> failed_at(const fs::path& path, const Error& error) { return failed_at(path, error.message); }

Status install_copy(const fs::path& running, const fs::path& installed) {
  if (running == installed) return {};
  const fs::path temporary = installed.parent_path() / fmt::format(".wendlebox-install-{}", ::getpid());
  std::error_code error;
  fs::copy_file(running, temporary, fs::copy_options::overwrite_existing, error);
  if (!error) fs::permissions(temporary, fs::perms(0755), error);
  // The installed copy needs no debugging symbols (a fifth of the size); a
  // machine without strip keeps them.
  if (!error) (void)run_process(ProcessSpec{.argv = {"strip", "--strip-unneeded", temporary.string()},
                                            .output = OutputMode::Discard, .errors = OutputMode::Discard});
  if (!error) fs::rename(temporary, installed, error);
  if (error) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return failed_at(installed, os_error_text(error.value()));
  }
  return {};
}

// The extension the browser loads lives in the data folder, so deleting a
// build or a downloaded archive never breaks it. Returns whether an older
// copy was replaced (the browser must then reload it).
Result<bool> install_extension(const fs::path& delivered, const fs::path& installed) {
  std::error_code error;
  const bool replacing = fs::exists(installed / "manifest.json");
  const fs::path fresh = installed.parent_path() / ".extension-new";
  fs::remove_all(fresh, error);
  if (auto made = create_dirs(installed.parent_path()); !made) return failed_at(installed.parent_path(), made.error());
  fs::copy(delivered, fresh, fs::copy_options::recursive, error);
  if (!error) fs::remove_all(installed, error);
  if (!error) fs::rename(fresh, installed, error);
  if (error) return failed_at(installed, os_error_text(error.value()));
  return replacing;
}

// The manual page and shell completion from beside the program (a build
// or an unpacked download) into the user's own places, where man, bash,
// zsh and fish find them; a copy with none beside it (the installed one)
// keeps what an earlier setup put there. Returns whether all are in place.
bool install_user_manual_and_completion(const fs::path& running, const UserFiles& files) {
  const fs::path beside = running.parent_path();
  const std::pair<fs::path, fs::path> copies[] = {
      {beside / "wendlebox.1", files.manual},
      {beside / "completion" / "wendlebox.bash", files.bash_completion},
      {beside / "completion" / "_wendlebox", files.zsh_completion},
      {beside / "completion" / "wendlebox.fish", files.fish_completion}};
  bool complete = true;
  for (const auto& [delivered, target] : copies) {
    // A copy that cannot be written leaves an earlier setup's in place
    // (the file is replaced whole or not at all), which still serves.
    if (auto text = read_file(delivered)) (void)write_file_whole(target, *text);
    complete &= fs::exists(target);
  }
  return complete;
}

// Whether a start-up file is read by the user's login shell: .profile by
// every one, the others by their own shell only.
bool read_by_user_shell(const fs::path& file) {
  const std::string shell = process_env("SHELL").value_or("");
  const std::string name = file.filename().string();
  return name == ".profile" || (name == ".bashrc" && shell.ends_with("bash")) ||
         (name == ".zshrc" && shell.ends_with("zsh")) || (name == "config.fish" && shell.ends_with("fish"));
}

// Appends the marked PATH block unless the file mentions .local/bin
// already; true when it appended.
Result<bool> ensure_shell_path(const ShellBlock& block) {
  const std::string text = read_file(block.file).value_or("");
  if (is_valid_utf8(text) && text.find(".local/bin") != std::string::npos) return false;
  if (auto made = create_dirs(block.file.parent_path()); !made) return std::unexpected(made.error());
  if (auto appended = append_file(block.file, block.text); !appended) return std::unexpected(appended.error());
  return true;
}

// Each completion line is appended once, in its own marked block, to the
// start-up file of the shell that reads it.
Status ensure_shell_blocks(const fs::path& home) {
  for (const ShellBlock& block : shell_blocks(home)) {
    if (block.kind != ShellBlock::Kind::Completion || !read_by_user_shell(block.file) || block_in_place(block)) continue;
    if (auto appended = append_file(block.file, block.text); !appended) return failed_at(block.file, appended.error());
  }
  return {};
}

// Puts ~/.local/bin on the PATH of the user's shells, saying for each
// start-up file whether it was edited or already set.
Status ensure_user_shell_path(const Printer& out, const fs::path& home) {
  for (const ShellBlock& block : shell_blocks(home)) {
    if (block.kind != ShellBlock::Kind::Path || !read_by_user_shell(block.file)) continue;
    auto edited = ensure_shell_path(block);
    if (!edited) return failed_at(block.file, edited.error());
    out << fmt::format("{} {}\n", i18n::tr(*edited ? kShellEdited : kShellAlreadySet), friendly_folder(block.file));
  }
  return {};
}

}  // namespace

void show_installed_help(const Printer& out, const fs::path& installed) {
  out << "\nWendlebox --help:\n\n" << std::flush;
  auto ran = run_process(ProcessSpec{.argv = {installed.string(), "--help"}, .input = InputMode::Inherit,
                                     .output = OutputMode::Inherit, .errors = OutputMode::Inherit});
  if (!ran || !ran->status.success()) print_help(out);
}

namespace {

bool is_in_hidden_folder(const fs::path& folder) {
  for (const fs::path& part : folder)
    if (part.native().size() > 1 && part.native().starts_with('.') && part != "..") return true;
  return false;
}

}  // namespace

std::string extension_guidance(const std::optional<fs::path>& extension_folder, const std::optional<fs::path>& package) {
  if (!extension_folder) return std::string(i18n::tr(kNotBundled));
  const std::vector<InstalledBrowser> browsers = installed_browsers();
  const bool chromium = browsers.empty() || std::ranges::any_of(browsers, [](const InstalledBrowser& browser) {
    return browser.kind == BrowserKind::Chromium;
  });
  std::string guidance = fmt::format("{}\n", i18n::tr(kHeading));
  if (chromium) {
    guidance += fmt::format("{}\n    {}\n", i18n::tr(kIntroduction), friendly_folder(*extension_folder));
    if (is_in_hidden_folder(*extension_folder)) guidance += fmt::format("{}\n", i18n::tr(kHiddenFolder));
    guidance += fmt::format("{}\n", i18n::tr(kSteps));
  }
  for (const InstalledBrowser& browser : browsers)
    if (browser.kind != BrowserKind::Chromium)
      guidance += fmt::format("\n{}\n", extension_steps(browser.kind, browser.command, *extension_folder, package));
  return guidance + fmt::format("\n{}", i18n::tr(kTip));
}

Status setup(const Printer& out) {
  auto running = running_executable();
  if (!running) return std::unexpected(running.error());
  const std::optional<std::string> home = process_env("HOME");
  if (!home) return failure("HOME is unavailable");
  const UserFiles files = user_files(*home);
  fs::path installed = *running;
  if (is_system_installation(*running)) {
    out << fmt::format(fmt::runtime(i18n::tr(kSystemInstallation)), running->string()) << '\n';
  } else {
    if (auto made = create_dirs(files.program.parent_path()); !made) return failed_at(files.program.parent_path(), made.error());
    installed = files.program;
    if (auto copied = install_copy(*running, installed); !copied) return copied;
    if (auto path = ensure_user_shell_path(out, *home); !path) return path;
    const bool manual_and_completion = install_user_manual_and_completion(*running, files);
    if (auto blocks = ensure_shell_blocks(*home); !blocks) return blocks;
    if (*running == installed)
      out << fmt::format("\n{} {}\n", out.paint(Colour::success, i18n::tr(kAlreadyInstalled)), installed.string());
    else
      out << fmt::format("\n{} {}\n", out.paint(Colour::success, i18n::tr(kInstalled)), installed.string());
    if (manual_and_completion) out << i18n::tr(kManualAndCompletion) << '\n';
  }
  // Both installed copies of the extension carry the pairing key, private
  // to this user, so that a tab acts only for this user's own sessions.
  auto key = pairing_key();
  if (!key) return std::unexpected(key.error());
  std::optional<fs::path> extension = extension_folder(*running);
  bool updated = false;
  if (extension && *extension != files.extension) {
    auto replaced = install_extension(*extension, files.extension);
    if (!replaced) return std::unexpected(replaced.error());
    extension = files.extension;
    updated = *replaced;
  }
  if (extension)
    if (auto paired = write_file_whole(*extension / kExtensionPairingFile, extension_pairing(*key)); !paired) return paired;
  std::optional<fs::path> package = firefox_package(*running);
  if (package && *package != files.firefox_package) {
    auto bytes = read_file(*package);
    if (!bytes) return failure(fmt::format("Could not read {}: {}", package->string(), bytes.error()));
    auto paired = paired_package(*bytes, *key);
    if (!paired) return std::unexpected(paired.error());
    if (auto written = write_file_whole(files.firefox_package, *paired); !written)
      return failed_at(files.firefox_package, written.error());
    package = files.firefox_package;
  }
  // Run again from the installed copy, which has nothing beside it: what
  // the first run installed is still there.
  if (!package && fs::exists(files.firefox_package)) package = files.firefox_package;
  show_installed_help(out, installed);
  const std::string separator(60, '=');
  out << fmt::format("\n{}\n", out.paint(Colour::banner, separator))
      << out.paint(Colour::banner, extension_guidance(extension, package)) << '\n'
      << out.paint(Colour::banner, separator) << '\n';
  if (updated) out << out.paint(Colour::warning, i18n::tr(kExtensionUpdated)) << '\n';
  setup_shell(out, installed);
  return {};
}

}  // namespace wendlebox
