// Taking away what setup installed in the user's home.
#pragma once

#include "common/printer.h"
#include "common/result.h"

namespace wendlebox {

// Removes the program copy, the extension, the manual page, the completion
// files and the start-up file blocks, saying what went; `purge` also
// removes the settings and the saved chats list.
Status uninstall(const Printer& out, bool purge);

}  // namespace wendlebox
