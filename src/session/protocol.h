// The text protocol with ChatGPT: the prompts the program sends and the one
// reply form it accepts, a JSON object in a fenced `wendlebox` block.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "actions/action.h"
#include "common/json.h"
#include "common/result.h"
#include "i18n/i18n.h"

namespace wendlebox {

std::string_view system_prompt();
// Empty for English; otherwise a line asking for messages in the user's language.
std::string language_line(i18n::Language language = i18n::lang::LANG.get());

std::string first_prompt(std::string_view prompt, std::string_view folder, std::string_view extra_folders,
                         i18n::Language language = i18n::lang::LANG.get());
std::string continuation_prompt(std::string_view prompt, std::string_view folder, std::string_view extra_folders);
// `results` is the array of result objects, one per action.
std::string tool_results_prompt(const Json& results);
std::string retry_prompt(std::string_view reason);

Json success_result(const std::string& type, Json result);
Json failure_result(const std::string& type, const std::string& error);

// The reply of the first `wendlebox` block, or why it was rejected.
Result<Reply> parse_reply(std::string_view text);

}  // namespace wendlebox
