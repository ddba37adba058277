// What a program is started with, and how it ended: the words shared by
// the code that starts programs directly and the keeper that starts them
// under itself.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wendlebox {

enum class InputMode { Null, Inherit };
enum class OutputMode { Capture, Discard, Inherit };

struct ProcessSpec {
  std::vector<std::string> argv;  // argv[0] is looked up through PATH
  std::optional<std::filesystem::path> cwd{};
  // Variables set for the program on top of this process's environment.
  std::vector<std::pair<std::string, std::string>> environment{};
  InputMode input = InputMode::Null;
  OutputMode output = OutputMode::Capture;
  OutputMode errors = OutputMode::Capture;
  // Bytes kept of each captured stream; the rest is read and dropped so the
  // child never blocks on a full pipe and memory stays bounded.
  std::size_t capture_limit = SIZE_MAX;
  // Started under a keeper of its own: a process of this program's that
  // adopts whatever the command leaves running, even what leaves its
  // process group (setsid) or outlives its parent, and ends all of it when
  // told to (Keepers::end), when `cancel` is set, or when this program dies.
  bool keep_descendants = false;
  const std::atomic<bool>* cancel = nullptr;
  // Asked about ten times a second while the program runs: true ends it as
  // `cancel` does (a time limit, the user stopping this one command).
  std::function<bool()> should_stop = nullptr;
  // Told each piece of captured output as it comes (`errors` for standard
  // error), before any limit applies; told an empty piece while the program
  // is quiet (about ten times a second), so that a display can count time.
  std::function<void(std::string_view piece, bool errors)> on_output = nullptr;
};

struct ExitStatus {
  std::optional<int> code;    // absent when a signal ended the process
  std::optional<int> signal;  // the signal that ended it
  bool success() const { return code == 0; }
};

// A wait status as the exit code or the signal that ended the process.
ExitStatus decode_status(int raw);

// The argument and environment vectors a child of `command` is started
// with; they point into `command` and into `environment`, so they stay
// valid while both live (moving the vectors keeps their elements in place).
struct ChildVectors {
  std::vector<std::string> environment;  // "NAME=value", only when `command` sets variables
  std::vector<char*> argv;
  std::vector<char*> envp;  // empty: the child gets this process's environment
};
ChildVectors child_vectors(const ProcessSpec& command);

}  // namespace wendlebox
