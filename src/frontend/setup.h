// Installing the program into the user's shell path, and the browser
// extension delivered with it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "common/printer.h"
#include "common/result.h"

namespace wendlebox {

Status setup(const Printer& out);

void show_installed_help(const Printer& out, const std::filesystem::path& installed);
// The steps that add the extension to the browsers found (Chromium's
// family when none is found); `package` is the Firefox .xpi.
std::string extension_guidance(const std::optional<std::filesystem::path>& extension_folder,
                               const std::optional<std::filesystem::path>& package);

}  // namespace wendlebox
