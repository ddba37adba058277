// Changes to an existing file given as search/replace edits, so that
// ChatGPT sends what changes instead of retyping the whole file.
#pragma once

#include "actions/action.h"
#include "actions/edit_match.h"
#include "actions/executor.h"

namespace wendlebox {

Result<Json> edit_file_action(const Action& action, ExecutionContext& context);

}  // namespace wendlebox
