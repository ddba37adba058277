// Asking the user before doing something on ChatGPT's behalf.
#pragma once

#include <string>
#include <string_view>

#include "common/result.h"

// The failure a refused question gives; the user knows of it already.
inline constexpr std::string_view kDeclined = "User declined request";

// y/yes allow; "y --force-yes" also allows everything else this session.
// Anything else, an empty line or end of input refuses.
Status confirm_action(std::string_view question, bool& force_yes);

// A plain yes/no question.
Status confirm_once(std::string_view question);

// Shows `question_line` and reads the answer line as typed, trimmed; empty
// at end of input. Every question of a session is read this way.
Result<std::string> read_answer(const std::string& question_line);
