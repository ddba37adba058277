// The program's entry: reads the arguments and runs what they ask for.
#pragma once

#include <string>
#include <vector>

#include "common/printer.h"
#include "common/result.h"
#include "session/task.h"

namespace wendlebox {

// The world of the installed program: the fixed bridge port, the user's
// browser and the terminal's prompt.
SessionWorld product_world();

// `args` are the process arguments after the program name; a session
// started by them lives in `world`.
Status run(const std::vector<std::string>& args, const SessionWorld& world);

// `out` flushed, the red failure line on `errors`, and the exit status.
int exit_status(const Status& outcome, const Printer& out, const Printer& errors);

// Everything main does: run in the product's world, then exit_status.
int run_main(int argc, char** argv);

}  // namespace wendlebox
