#include "common/printer.h"

#include <unistd.h>

namespace {

bool is_terminal(const std::ostream& stream) {
  if (&stream == &std::cout) return ::isatty(STDOUT_FILENO) != 0;
  if (&stream == &std::cerr) return ::isatty(STDERR_FILENO) != 0;
  return false;
}

}  // namespace

Printer::Printer(std::ostream& stream, const EnvLookup& env) : stream_(stream) {
  // A dumb terminal (an editor's shell buffer) shows neither colours nor
  // cursor moves; NO_COLOR asks for plain text but a redrawn line is fine.
  const bool capable_terminal = is_terminal(stream) && env("TERM").value_or("dumb") != "dumb";
  redraws_lines_ = capable_terminal;
  colours_ = capable_terminal && !env("NO_COLOR");
}

Printer::Printer(std::ostream& stream, bool redraws_lines, bool colours)
    : stream_(stream), redraws_lines_(redraws_lines), colours_(colours) {}

const Printer& Printer::standard() {
  static const Printer printer(std::cout);
  return printer;
}

const Printer& Printer::errors() {
  static const Printer printer(std::cerr);
  return printer;
}

std::string Printer::paint(std::string_view code, std::string_view text) const {
  if (!colours_) return std::string(text);
  std::string painted = "\x1b[";
  painted.append(code).append("m").append(text).append("\x1b[0m");
  return painted;
}
