// `wendlebox doctor`: what the program finds on this machine, for a user
// whose session does not connect.
#pragma once

#include "common/printer.h"
#include "common/result.h"

namespace wendlebox {

Status doctor(const Printer& out);

}  // namespace wendlebox
