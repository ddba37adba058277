// Finding text in the allowed folders, or files by name, without a shell
// command: lines that hold a text or a regular expression (RE2, whose time
// grows linearly with the text whatever the pattern), or the files a glob
// names. Git's own folders, wendlebox's, the files Git ignores, binary
// files and very large ones are left out.
#pragma once

#include <string>

#include "actions/action.h"
#include "actions/executor.h"
#include "common/result.h"

namespace wendlebox {

// A glob as an RE2 pattern: `*` and `?` stay within a folder, `**` crosses
// folders ("**/" also matches no folder), `[…]` and `{a,b}` as shells read them.
std::string glob_pattern(std::string_view glob);

Result<Json> search_action(const Action& action, ExecutionContext& context);

}  // namespace wendlebox
