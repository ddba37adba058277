// The launcher: opening an address in the user's browser.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"

#include <vector>

#include "common/env.h"

namespace wendlebox {

// The first program found on PATH that can open a URL.
std::optional<std::string> system_opener();

// How a session opens ChatGPT: the command the user chose (`saved`), else
// the first command of $BROWSER ("%s" stands for the address, which is
// otherwise added at the end), else the system's opener.
struct LaunchCommand {
  std::vector<std::string> argv;
  std::string origin;  // "--browser", "BROWSER" or "opener"
};
std::optional<LaunchCommand> launch_command(const std::string& url, const std::optional<std::string>& saved,
                                           const EnvLookup& env = process_env);

// Opens `url` with the launch command, in a browser the user sees.
Status open_address(const std::string& url, const std::optional<std::string>& saved = std::nullopt);

// Who reads a file that the browser is started on: a program of this
// system, a snap (confined to folders of its own), or, under WSL, a
// Windows browser that cannot read this system's files.
struct PageReader {
  enum class Kind { Native, Snap, Windows };
  Kind kind = Kind::Native;
  std::string snap{};  // the snap's name
};

// Who reads the page given to the browser that `launch` starts: its own
// program decides (a snap's /snap/bin/<name>, or a script that starts one),
// and for the system's opener the default browser.
PageReader page_reader(const std::optional<LaunchCommand>& launch);

// The snap that the program at `path` starts, if it is one: a link into
// `snap_bin` (named for the snap), or a script that runs one from there.
std::optional<std::string> snap_of_program(const std::filesystem::path& path,
                                           const std::filesystem::path& snap_bin = "/snap/bin");

}  // namespace wendlebox
