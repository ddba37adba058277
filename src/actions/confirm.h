// Asking the user before doing something on ChatGPT's behalf.
#pragma once

#include <string_view>

#include "common/result.h"

// The failure a refused question gives; the user knows of it already.
inline constexpr std::string_view kDeclined = "User declined request";

// y/yes allow; "y --force-yes" also allows everything else this session.
// Anything else, an empty line or end of input refuses.
Status confirm_action(std::string_view question, bool& force_yes);

// A plain yes/no question.
Status confirm_once(std::string_view question);
