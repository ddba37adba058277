// Installing the program into the user's shell path, and the browser
// extension delivered with it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

Status setup();

// The program that is running, read from /proc.
Result<std::filesystem::path> running_executable();

// The browser extension delivered with this program, when there is one.
std::optional<std::filesystem::path> extension_folder(const std::filesystem::path& running);
std::optional<std::filesystem::path> running_extension_folder();
// Where setup puts the extension the browser loads: <data folder>/extension.
std::filesystem::path installed_extension_folder();
// The Firefox package delivered with this program (wendlebox-<version>.xpi
// beside it, or in <prefix>/share/wendlebox), and where setup puts it.
std::optional<std::filesystem::path> firefox_package(const std::filesystem::path& running);
std::filesystem::path installed_firefox_package();
// The version in an extension folder's manifest.
std::optional<std::string> extension_version(const std::filesystem::path& folder);

// Appends the marked PATH block unless the file mentions .local/bin
// already; true when it appended.
Result<bool> ensure_shell_path(const std::filesystem::path& file, std::string_view line);
void show_installed_help(const std::filesystem::path& installed);
// The steps that add the extension to the browsers found (Chromium's
// family when none is found); `package` is the Firefox .xpi.
std::string extension_guidance(const std::optional<std::filesystem::path>& extension_folder,
                               const std::optional<std::filesystem::path>& package);
