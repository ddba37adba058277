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
#include "common/result.h"

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

struct ExecutionContext {
  const std::filesystem::path& base;  // the working folder; where commands run
  const std::vector<std::filesystem::path>& roots;
  bool allow_commands;
  bool& force_yes;                   // once set by an answer, set for the session
  std::vector<Attachment>& pending;  // images for the next message
  const std::atomic<bool>* interrupt = nullptr;  // set when the user stops the prompt
  const Printer& out = Printer::standard();      // where the user sees each action
  // The keepers of the commands run, so that what they left running
  // (`cmd &`, `setsid cmd`) ends with the session (end_kept).
  std::vector<pid_t>* keepers = nullptr;
  const ChangeWatch* watch = nullptr;
  // Runs, when set, between a file action's read of a file and its write
  // of it: a test stands there as another program writing the same file.
  std::function<void()> between_read_and_write{};
};

// The action's success object, or the message saying why it failed.
Result<Json> execute(const Action& action, ExecutionContext& context);

// Every action as the system prompt shows it to ChatGPT: one JSON example
// each, comma-separated, in the order of the action table.
std::string action_examples();
