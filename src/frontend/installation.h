// The installation's layout: where the running program and its extension
// lie, and what setup puts in a user's home (files, and blocks in the
// shell start-up files), which doctor checks and uninstall takes away.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"

namespace wendlebox {

// The program that is running, read from /proc.
Result<std::filesystem::path> running_executable();

// Installed by the package manager or `cmake --install`: the program in
// <prefix>/bin with its extension in <prefix>/share, not beside it.
bool is_system_installation(const std::filesystem::path& running);

// What setup puts in a user's home, beside the start-up file blocks, and
// uninstall takes away again.
struct UserFiles {
  std::filesystem::path program;          // ~/.local/bin/wendlebox
  std::filesystem::path extension;        // <data folder>/extension
  std::filesystem::path firefox_package;  // <data folder>/wendlebox.xpi
  std::filesystem::path manual;           // ~/.local/share/man/man1/wendlebox.1
  std::filesystem::path bash_completion;
  std::filesystem::path zsh_completion;
  std::filesystem::path fish_completion;
};
UserFiles user_files(const std::filesystem::path& home);

// A marked block setup appends to a shell start-up file.
struct ShellBlock {
  // Puts ~/.local/bin on PATH, or loads the shell's completion.
  enum class Kind { Path, Completion };
  std::filesystem::path file;
  std::string text;  // "\n# Wendlebox ...\n<line>\n"
  Kind kind;
};
// Every block setup may have added in `home`, for any shell.
std::vector<ShellBlock> shell_blocks(const std::filesystem::path& home);
// Whether the block stands in its start-up file now.
bool block_in_place(const ShellBlock& block);

// The browser extension delivered with this program, when there is one.
std::optional<std::filesystem::path> extension_folder(const std::filesystem::path& running);
std::optional<std::filesystem::path> running_extension_folder();
// Where setup puts the extension the browser loads: <data folder>/extension.
std::filesystem::path installed_extension_folder();
// The extension folder to load in the browser: the one setup installed (and
// paired), else the one delivered with this program.
std::optional<std::filesystem::path> extension_to_load();
// The Firefox package delivered with this program (wendlebox-<version>.xpi
// beside it, or in <prefix>/share/wendlebox), and where setup puts it.
std::optional<std::filesystem::path> firefox_package(const std::filesystem::path& running);
std::filesystem::path installed_firefox_package();
// The version in an extension folder's manifest.
std::optional<std::string> extension_version(const std::filesystem::path& folder);

}  // namespace wendlebox
