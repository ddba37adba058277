#include "frontend/uninstall.h"

#include <algorithm>

#include <fmt/format.h>

#include "bridge/pairing.h"
#include "common/env.h"
#include "common/files.h"
#include "common/folders.h"
#include "common/printer.h"
#include "frontend/installation.h"
#include "i18n/i18n.h"
#include "state/app_dirs.h"
#include "state/chats.h"
#include "frontend/messages.h"

namespace wendlebox {

namespace {

namespace fs = std::filesystem;

using namespace messages::frontend;

// Removes a file or a folder with everything in it; says so when there was
// one. A failure names the path.
Result<bool> remove_path(const Printer& out, const fs::path& path) {
  std::error_code error;
  if (!fs::exists(fs::symlink_status(path, error))) return false;
  fs::remove_all(path, error);
  if (error) return failure(fmt::format("Could not remove {}: {}", path.string(), os_error_text(error.value())));
  out << i18n::tr(kRemoved) << ' ' << friendly_folder(path) << '\n';
  return true;
}

// A folder setup created that is empty now goes too, up to `last`.
void remove_empty_folders(fs::path folder, const fs::path& last) {
  std::error_code error;
  while (folder.string().size() > last.string().size() && fs::is_empty(folder, error) && !error) {
    if (!fs::remove(folder, error)) return;
    folder = folder.parent_path();
  }
}

// Takes setup's blocks out of the start-up files. A file that held nothing
// but them is removed.
Status remove_shell_blocks(const Printer& out, const fs::path& home, bool& changed) {
  const std::vector<ShellBlock> blocks = shell_blocks(home);
  std::vector<fs::path> files;
  for (const ShellBlock& block : blocks)
    if (std::ranges::find(files, block.file) == files.end()) files.push_back(block.file);
  for (const fs::path& file : files) {
    auto text = read_file_if_exists(file);
    if (!text || !*text) continue;
    std::string edited = **text;
    for (const ShellBlock& block : blocks) {
      if (block.file != file) continue;
      for (std::size_t at; (at = edited.find(block.text)) != std::string::npos;) edited.erase(at, block.text.size());
    }
    if (edited != **text) {
      if (edited.empty()) {
        if (auto removed = remove_path(out, file); !removed) return std::unexpected(removed.error());
      } else if (auto written = write_file_whole(file, edited); !written) {
        return failure(fmt::format("Could not edit {}: {}", file.string(), written.error()));
      }
      if (!edited.empty()) out << i18n::tr(kBlockRemoved) << ' ' << friendly_folder(file) << '\n';
      changed = true;
    }
    if (edited.find("# Wendlebox") != std::string::npos)
      out.line(Colour::warning, fmt::format(fmt::runtime(i18n::tr(kBlockChanged)), friendly_folder(file)));
  }
  return {};
}

// The project folders that saved chats name and that still have their
// .wendlebox folder.
std::vector<fs::path> project_folders(const Printer& out) {
  std::vector<fs::path> folders;
  for (const Chat& chat : load_chats(out)) {
    const fs::path folder(chat.folder);
    if (is_dir(folder / ".wendlebox") && std::ranges::find(folders, folder / ".wendlebox") == folders.end())
      folders.push_back(folder / ".wendlebox");
  }
  return folders;
}

}  // namespace

Status uninstall(const Printer& out, bool purge) {
  const std::optional<std::string> home = process_env("HOME");
  if (!home) return failure("HOME is unavailable");
  const UserFiles files = user_files(*home);
  bool removed_any = false;
  if (auto running = running_executable(); running && is_system_installation(*running))
    out << fmt::format(fmt::runtime(i18n::tr(kSystemProgram)), running->string()) << '\n';
  // The pairing key goes with the extension it paired: a new setup makes a new one.
  for (const fs::path& path : {files.program, files.extension, files.firefox_package, pairing_key_file(),
                               files.manual, files.bash_completion, files.zsh_completion, files.fish_completion}) {
    auto removed = remove_path(out, path);
    if (!removed) return std::unexpected(removed.error());
    removed_any |= *removed;
    remove_empty_folders(path.parent_path(), *home);
  }
  if (auto blocks = remove_shell_blocks(out, *home, removed_any); !blocks) return blocks;
  const std::vector<fs::path> projects = purge ? project_folders(out) : std::vector<fs::path>{};
  if (purge) {
    for (const fs::path& folder : {app_dir(), data_dir()}) {
      auto removed = remove_path(out, folder);
      if (!removed) return std::unexpected(removed.error());
      removed_any |= *removed;
    }
  } else {
    // What is left of the data folder is the program's own (a forwarding
    // page of a running session goes when it ends).
    remove_empty_folders(data_dir(), *home);
  }
  if (!removed_any) out << i18n::tr(kNothingInstalled) << '\n';
  if (!purge && fs::exists(app_dir()))
    out << fmt::format(fmt::runtime(i18n::tr(kKept)), friendly_folder(app_dir())) << '\n';
  if (!projects.empty()) {
    out << i18n::tr(kProjectsKept) << '\n';
    for (const fs::path& folder : projects) out << "  " << friendly_folder(folder) << '\n';
  }
  if (removed_any) out << i18n::tr(kBrowserToo) << '\n';
  return {};
}

}  // namespace wendlebox
