// Carries out one action that ChatGPT asked for.
#pragma once

#include <filesystem>
#include <vector>

#include "bridge/server.h"
#include "common/json.h"
#include "common/result.h"
#include "session/protocol.h"

struct ExecutionContext {
  const std::filesystem::path& base;  // the working folder; where commands run
  const std::vector<std::filesystem::path>& roots;
  bool allow_commands;
  bool& force_yes;                   // once set by an answer, set for the session
  std::vector<Attachment>& pending;  // images for the next message
};

// The action's success object, or the message saying why it failed.
Result<Json> execute(const Action& action, ExecutionContext& context);
