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

namespace {

namespace fs = std::filesystem;

constexpr i18n::Text kRemoved{"Removed:", "Removido:", "Eliminado:"};
constexpr i18n::Text kBlockRemoved{"Removed the Wendlebox lines from", "Linhas do Wendlebox removidas de",
                                   "Líneas de Wendlebox eliminadas de"};
constexpr i18n::Text kBlockChanged{
    "{} still mentions Wendlebox in lines setup did not write as they are now: remove them by hand.",
    "{} ainda menciona o Wendlebox em linhas que o setup não escreveu como estão: remova-as à mão.",
    "{} todavía menciona Wendlebox en líneas que setup no escribió tal como están: elimínalas a mano."};
constexpr i18n::Text kNothingInstalled{"Nothing of a Wendlebox installation was found in your home folder.",
                                       "Nada de uma instalação do Wendlebox foi encontrado na sua pasta pessoal.",
                                       "No se encontró nada de una instalación de Wendlebox en tu carpeta personal."};
constexpr i18n::Text kSystemProgram{
    "The program {} was installed by the system: remove it with your package manager (for example sudo apt remove "
    "wendlebox).",
    "O programa {} foi instalado pelo sistema: remova-o com o gerenciador de pacotes (por exemplo sudo apt remove "
    "wendlebox).",
    "El programa {} lo instaló el sistema: elimínalo con tu gestor de paquetes (por ejemplo sudo apt remove "
    "wendlebox)."};
constexpr i18n::Text kKept{
    "Kept your settings and saved chats in {}: wendlebox uninstall --purge removes them too.",
    "Suas configurações e chats salvos continuam em {}: wendlebox uninstall --purge também os remove.",
    "Tu configuración y tus chats guardados siguen en {}: wendlebox uninstall --purge también los elimina."};
constexpr i18n::Text kProjectsKept{
    "Each project keeps its chat logs in its own .wendlebox folder; delete those you no longer want:",
    "Cada projeto guarda os registros dos chats na sua própria pasta .wendlebox; apague as que não quiser mais:",
    "Cada proyecto guarda los registros de sus chats en su propia carpeta .wendlebox; borra las que ya no quieras:"};
constexpr i18n::Text kBrowserToo{
    "Remove the Wendlebox extension from your browser too (its extensions page, or about:addons in Firefox).",
    "Remova também a extensão Wendlebox do navegador (na página de extensões, ou em about:addons no Firefox).",
    "Quita también la extensión Wendlebox del navegador (en su página de extensiones, o en about:addons en Firefox)."};

const Printer& out() { return Printer::standard(); }

// Removes a file or a folder with everything in it; says so when there was
// one. A failure names the path.
Result<bool> remove_path(const fs::path& path) {
  std::error_code error;
  if (!fs::exists(fs::symlink_status(path, error))) return false;
  fs::remove_all(path, error);
  if (error) return failure(fmt::format("Could not remove {}: {}", path.string(), os_error_text(error.value())));
  out() << i18n::tr(kRemoved) << ' ' << friendly_folder(path) << '\n';
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
Status remove_shell_blocks(const fs::path& home, bool& changed) {
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
        if (auto removed = remove_path(file); !removed) return std::unexpected(removed.error());
      } else if (auto written = write_file_whole(file, edited); !written) {
        return failure(fmt::format("Could not edit {}: {}", file.string(), written.error()));
      }
      if (!edited.empty()) out() << i18n::tr(kBlockRemoved) << ' ' << friendly_folder(file) << '\n';
      changed = true;
    }
    if (edited.find("# Wendlebox") != std::string::npos)
      out().line("33", fmt::format(fmt::runtime(i18n::tr(kBlockChanged)), friendly_folder(file)));
  }
  return {};
}

// The project folders that saved chats name and that still have their
// .wendlebox folder.
std::vector<fs::path> project_folders() {
  std::vector<fs::path> folders;
  for (const Chat& chat : load_chats()) {
    const fs::path folder(chat.folder);
    if (is_dir(folder / ".wendlebox") && std::ranges::find(folders, folder / ".wendlebox") == folders.end())
      folders.push_back(folder / ".wendlebox");
  }
  return folders;
}

}  // namespace

Status uninstall(bool purge) {
  const std::optional<std::string> home = process_env("HOME");
  if (!home) return failure("HOME is unavailable");
  const UserFiles files = user_files(*home);
  bool removed_any = false;
  if (auto running = running_executable(); running && is_system_installation(*running))
    out() << fmt::format(fmt::runtime(i18n::tr(kSystemProgram)), running->string()) << '\n';
  // The pairing key goes with the extension it paired: a new setup makes a new one.
  for (const fs::path& path : {files.program, files.extension, files.firefox_package, pairing_key_file(),
                               files.manual, files.bash_completion, files.zsh_completion, files.fish_completion}) {
    auto removed = remove_path(path);
    if (!removed) return std::unexpected(removed.error());
    removed_any |= *removed;
    remove_empty_folders(path.parent_path(), *home);
  }
  if (auto blocks = remove_shell_blocks(*home, removed_any); !blocks) return blocks;
  const std::vector<fs::path> projects = purge ? project_folders() : std::vector<fs::path>{};
  if (purge) {
    for (const fs::path& folder : {app_dir(), data_dir()}) {
      auto removed = remove_path(folder);
      if (!removed) return std::unexpected(removed.error());
      removed_any |= *removed;
    }
  } else {
    // What is left of the data folder is the program's own (a forwarding
    // page of a running session goes when it ends).
    remove_empty_folders(data_dir(), *home);
  }
  if (!removed_any) out() << i18n::tr(kNothingInstalled) << '\n';
  if (!purge && fs::exists(app_dir()))
    out() << fmt::format(fmt::runtime(i18n::tr(kKept)), friendly_folder(app_dir())) << '\n';
  if (!projects.empty()) {
    out() << i18n::tr(kProjectsKept) << '\n';
    for (const fs::path& folder : projects) out() << "  " << friendly_folder(folder) << '\n';
  }
  if (removed_any) out() << i18n::tr(kBrowserToo) << '\n';
  return {};
}
