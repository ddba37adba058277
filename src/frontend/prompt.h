// The "You >" prompt between the prompts of a session.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/printer.h"
#include "common/result.h"

namespace wendlebox {

// The next prompt; nullopt when the user leaves the session. `history` is
// the session's, and grows by each prompt returned.
Result<std::optional<std::string>> read_terminal_prompt(const Printer& out, const std::optional<std::string>& chat_url,
                                                        std::vector<std::string>& history);

}  // namespace wendlebox
