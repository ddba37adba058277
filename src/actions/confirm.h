// Asking the user before doing something on ChatGPT's behalf.
#pragma once

#include <string>
#include <string_view>

#include "common/printer.h"
#include "common/result.h"

namespace wendlebox {

// The failure a refused question gives; the user knows of it already.
inline constexpr std::string_view kDeclined = "User declined request";

// Shows `question_line` on `out` (no line break) and reads one answer,
// trimmed; empty at end of input or when Ctrl-C interrupts the read.
Result<std::string> read_answer(const Printer& out, const std::string& question_line);

// "y --force-yes for this session", in the user's language.
std::string_view force_yes_hint();
// Whether a lower-cased answer is "y --force-yes" (or "yes --force-yes").
bool is_force_yes(std::string_view answer);
// Sets the session's flag and says so.
void set_force_yes(const Printer& out, bool& force_yes);

// y/yes allow; "y --force-yes" also allows everything else this session.
// Anything else, an empty line or end of input refuses.
Status confirm_action(const Printer& out, std::string_view question, bool& force_yes);

// A plain yes/no question.
Status confirm_once(const Printer& out, std::string_view question);

}  // namespace wendlebox
