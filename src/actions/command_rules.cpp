#include "actions/command_rules.h"

#include <algorithm>

#include <fmt/format.h>

#include "actions/confirm.h"
#include "common/files.h"
#include "common/json.h"
#include "common/text.h"
#include "i18n/i18n.h"
#include "state/state_file.h"
#include "actions/messages.h"

namespace wendlebox {

namespace {

using namespace messages::actions;

Result<std::vector<std::string>> decode_rules(std::string_view text) {
  return decode_object(text, [](const JsonFields& fields) -> Result<std::vector<std::string>> {
    std::vector<std::string> rules;
    const Json* allow = fields.find("allow");
    if (allow == nullptr) return rules;
    if (!allow->is_array()) return fields.error("invalid type: expected a list of commands for `allow`");
    for (const Json& rule : *allow) {
      if (!rule.is_string()) return fields.error("invalid type: expected a list of commands for `allow`");
      const std::string_view trimmed = trim(rule.get_ref<const std::string&>());
      if (!trimmed.empty()) rules.emplace_back(trimmed);
    }
    return rules;
  });
}

}  // namespace

std::filesystem::path command_rules_path(const std::filesystem::path& folder) {
  return folder / ".wendlebox" / "commands.json";
}

Result<std::vector<std::string>> load_command_rules(const std::filesystem::path& folder) {
  return load_state_file<std::vector<std::string>>(command_rules_path(folder), "Could not read the command rules",
                                                   decode_rules);
}

Status allow_command_always(const std::filesystem::path& folder, const std::string& command) {
  const std::filesystem::path path = command_rules_path(folder);
  return update_state_file(
      path, [&] { return load_command_rules(folder); },
      [&](const std::vector<std::string>& rules) {
        OrderedJson record;
        record["allow"] = rules;
        return write_file_whole(path, pretty_json(record));
      },
      [&](std::vector<std::string>& rules) {
        const std::string rule(trim(command));
        if (std::ranges::find(rules, rule) != rules.end()) return false;
        rules.push_back(rule);
        return true;
      });
}

bool has_shell_operator(std::string_view command) {
  return command.find_first_of(";&|<>`\n\r") != std::string_view::npos || command.find("$(") != std::string_view::npos;
}

bool rule_allows(std::string_view rule, std::string_view command) {
  command = trim(command);
  if (rule.empty() || has_shell_operator(command)) return false;
  return command == rule || (command.starts_with(rule) && command.size() > rule.size() && command[rule.size()] == ' ');
}

void show_run_line(const Printer& out, std::string_view command, std::string_view note) {
  out << out.paint(Colour::action, i18n::tr(kRun)) << ' ' << out.paint(Colour::command, one_line_text(command));
  if (!note.empty()) out << ' ' << out.paint(Colour::dim, note);
  out << '\n';
}

Status approve_command(const std::string& command, ExecutionContext& context) {
  const Printer& out = context.out;
  auto rules = load_command_rules(context.base);
  if (!rules) {
    // Said once a session: the user fixes the file, or answers each question.
    if (!context.told_bad_rules || !*context.told_bad_rules) {
      out.line(Colour::warning, fmt::format(fmt::runtime(i18n::tr(kRulesUnusable)),
                                            lossy_utf8(command_rules_path(context.base).native())));
      out.line(Colour::warning, "  " + visible_text(rules.error().message));
    }
    if (context.told_bad_rules) *context.told_bad_rules = true;
  }
  if (rules && std::ranges::any_of(*rules, [&](const std::string& rule) { return rule_allows(rule, command); })) {
    show_run_line(out, command, i18n::tr(kAllowedByRule));
    return {};
  }
  out << out.paint(Colour::question, i18n::tr(kRunQuestion)) << ' ' << out.paint(Colour::command, one_line_text(command)) << '\n';
  // A command with an operator would always ask again: no rule is offered.
  const bool offer_always = !has_shell_operator(command) && rules.has_value();
  out.line(Colour::dim, i18n::tr(offer_always ? kAlwaysHint : kReasonHint));
  out.flush();
  auto answer = read_answer(out, out.paint(Colour::question, i18n::tr(kAllowThisCommand)) + (offer_always ? " [y/N/a] (" : " [y/N] (") +
                            std::string(force_yes_hint()) + ") ");
  if (!answer) return std::unexpected(answer.error());
  const std::string lower = ascii_lower(*answer);
  if (lower == "y" || lower == "yes") return {};
  if (is_force_yes(lower)) {
    set_force_yes(out, context.force_yes);
    return {};
  }
  if (offer_always && (lower == "a" || lower == "always")) {
    if (auto kept = allow_command_always(context.base, command); !kept)
      out.line(Colour::warning, fmt::format("{} {}", i18n::tr(kRuleNotKept), visible_text(kept.error().message)));
    else
      out.line(Colour::dim, fmt::format(fmt::runtime(i18n::tr(kAlwaysAllowed)), one_line_text(trim(command))));
    return {};
  }
  for (const std::string_view refusal : {"n ", "no "}) {
    if (!lower.starts_with(refusal)) continue;
    const std::string_view reason = trim(std::string_view(*answer).substr(refusal.size()));
    if (!reason.empty()) return failure(ErrorKind::Declined, fmt::format("{}: {}", kDeclined, lossy_utf8(reason)));
  }
  return failure(ErrorKind::Declined, std::string(kDeclined));
}

}  // namespace wendlebox
