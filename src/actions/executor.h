// Carries out one action that ChatGPT asked for.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include <sys/types.h>

#include "actions/action.h"
#include "common/attachment.h"
#include "common/json.h"
#include "common/printer.h"
#include "process/keepers.h"
#include "common/result.h"

namespace wendlebox {

// Told before and after each action that may change files (any action not
// known only to read), with the file the action names, when it names one,
// resolved as the action resolves it: what changes in between is the
// action's doing, which /undo can take back. Told too of each action that
// runs unwatched: the user may change files while it runs (a screenshot
// asks them first), and those changes are not the action's.
struct ChangeWatch {
  std::function<void(const std::optional<std::filesystem::path>& named)> before;
  std::function<void(const std::optional<std::filesystem::path>& named)> after;
  std::function<void()> unwatched;
};

// How the user stops one running command without stopping the prompt:
// `running` is set while a command runs, and the session's Ctrl-C handler
// sets `requested` then (both are lock-free, for a signal handler).
struct CommandStop {
  std::atomic<bool> running{false};
  std::atomic<bool> requested{false};
};

// How long a command may run when ChatGPT does not say, and at most.
inline constexpr unsigned kDefaultCommandTimeout = 600;
inline constexpr unsigned kMaxCommandTimeout = 3600;

// What an action runs with. Built with named fields (`.base = ...`), never
// by position: two flags side by side would swap without a word.
struct ExecutionContext {
  const std::filesystem::path& base;  // the working folder; where commands run
  const std::vector<std::filesystem::path>& roots;
  bool allow_commands;
  bool& force_yes;                   // once set by an answer, set for the session
  std::vector<Attachment>& pending;  // images for the next message
  const std::atomic<bool>* interrupt = nullptr;  // set when the user stops the prompt
  const Printer& out;                            // where the user sees each action
  // The keepers of the commands run, so that what they left running
  // (`cmd &`, `setsid cmd`) ends with the session.
  Keepers* keepers = nullptr;
  const ChangeWatch* watch = nullptr;
  // Each change to a file is shown and asked about before it is made.
  bool review_edits = false;
  // Set by the answer "a": the rest of this prompt's changes go through unasked.
  bool* edits_approved = nullptr;
  CommandStop* command_stop = nullptr;  // Ctrl-C during a command stops it
  unsigned command_timeout = kDefaultCommandTimeout;  // seconds, when `run` gives none
  bool* told_bad_rules = nullptr;  // the project's command rules were said to be unusable
  // Runs, when set, between a file action's read of a file and its write
  // of it: a test stands there as another program writing the same file.
  std::function<void()> between_read_and_write{};
};

// The action's success object, or the message saying why it failed.
Result<Json> execute(const Action& action, ExecutionContext& context);

// Every action as the system prompt shows it to ChatGPT: one JSON example
// each, comma-separated, in the order of the action table.
std::string action_examples();

}  // namespace wendlebox
