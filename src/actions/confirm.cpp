#include "actions/confirm.h"
#include "common/printer.h"

#include <cstdio>
#include <iostream>
#include <string>

#include "common/text.h"
#include "i18n/i18n.h"
#include "actions/messages.h"

namespace wendlebox {

namespace {

using namespace messages::actions;

// The answer trimmed and lower-cased; empty at end of input.
Result<std::string> ask(const Printer& out, const std::string& question_line) {
  auto answer = read_answer(out, question_line);
  if (!answer) return answer;
  return ascii_lower(*answer);
}

Status declined() { return failure(ErrorKind::Declined, std::string(kDeclined)); }

}  // namespace

Result<std::string> read_answer(const Printer& out, const std::string& question_line) {
  if (!(out << question_line << std::flush)) return os_failure(errno ? errno : EIO);
  std::string line;
  if (!std::getline(std::cin, line)) {
    if (std::cin.bad()) return os_failure(errno ? errno : EIO);
    // End of input, or Ctrl-C during the read: the question's line is
    // ended here, so the next line does not run on after it ("^C…"), and
    // the next question reads afresh.
    std::cin.clear();
    ::clearerr(stdin);
    out << '\n' << std::flush;
    return std::string();
  }
  return std::string(trim(line));
}

std::string_view force_yes_hint() { return i18n::tr(kForceYesHint); }

bool is_force_yes(std::string_view answer) { return answer == "y --force-yes" || answer == "yes --force-yes"; }

void set_force_yes(const Printer& out, bool& force_yes) {
  force_yes = true;
  out.line(Colour::warning, i18n::tr(kForceYesNotice));
}

Status confirm_action(const Printer& out, std::string_view question, bool& force_yes) {
  if (force_yes) return {};
  auto answer = ask(out, out.paint(Colour::question, question) + " [y/N] (" + std::string(force_yes_hint()) + ") ");
  if (!answer) return std::unexpected(answer.error());
  if (*answer == "y" || *answer == "yes") return {};
  if (is_force_yes(*answer)) {
    set_force_yes(out, force_yes);
    return {};
  }
  return declined();
}

Status confirm_once(const Printer& out, std::string_view question) {
  auto answer = ask(out, out.paint(Colour::question, question) + " [y/N] ");
  if (!answer) return std::unexpected(answer.error());
  if (*answer == "y" || *answer == "yes") return {};
  return declined();
}

}  // namespace wendlebox
