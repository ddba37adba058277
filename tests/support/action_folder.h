// A working folder where actions run as a session runs them, with what
// they print kept (plain text) for the test to read.
#pragma once

#include <sstream>
#include <vector>

#include "actions/executor.h"
#include "support/support.h"

namespace wendlebox {

struct ActionFolder {
  TempDir dir;
  std::vector<std::filesystem::path> roots{dir.path};
  bool force_yes = false;
  std::vector<Attachment> pending;
  std::stringstream output;
  Printer printer{output, false, false};

  // How a session runs actions here, for a test to change before running one.
  ExecutionContext execution_context() {
    return ExecutionContext{.base = dir.path,
                            .roots = roots,
                            .allow_commands = true,
                            .force_yes = force_yes,
                            .pending = pending,
                            .out = printer};
  }

  Result<Json> run(const Action& action) {
    ExecutionContext context = execution_context();
    return execute(action, context);
  }
};

}  // namespace wendlebox
