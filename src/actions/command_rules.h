// The commands a project lets run without asking while commands are
// blocked: `.wendlebox/commands.json`, {"allow": ["npm test", "make", …]},
// which the user may edit and the question's `a` answer adds to.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "actions/executor.h"
#include "common/result.h"

namespace wendlebox {

std::filesystem::path command_rules_path(const std::filesystem::path& folder);

// The rules of the project in `folder`; none when the file is missing.
Result<std::vector<std::string>> load_command_rules(const std::filesystem::path& folder);

// Adds `command` to the project's rules (once), writing the file whole.
Status allow_command_always(const std::filesystem::path& folder, const std::string& command);

// A shell operator or expansion (; & | > < ` $( or a line break) lets a
// command do more than its first words say: such a command always asks.
bool has_shell_operator(std::string_view command);

// Whether `rule` allows `command`: the command is the rule, or starts with
// it and a blank, and has no shell operator.
bool rule_allows(std::string_view rule, std::string_view command);

// "Run <command>", as shown before a command runs.
void show_run_line(const Printer& out, std::string_view command, std::string_view note = {});

// With commands blocked: runs the command by a rule of the project, or asks
// the user ([y/N/a]). Fails with the refusal (and the user's reason).
Status approve_command(const std::string& command, ExecutionContext& context);

}  // namespace wendlebox
