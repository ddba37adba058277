// The program's entry: reads the arguments and runs what they ask for.
#pragma once

#include <string>
#include <vector>

#include "common/result.h"

// `args` are the process arguments after the program name.
Status run(const std::vector<std::string>& args);

// Everything main does: run, then the red failure line and the exit status.
int run_main(int argc, char** argv);
