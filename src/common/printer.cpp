#include "common/printer.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace wendlebox {

namespace {

// The descriptor of a standard stream that is a terminal, else -1.
int terminal_fd(const std::ostream& stream) {
  const int fd = &stream == &std::cout ? STDOUT_FILENO : &stream == &std::cerr ? STDERR_FILENO : -1;
  return fd >= 0 && ::isatty(fd) ? fd : -1;
}

// The terminal's code (SGR) of `colour`.
std::string_view sgr_code(Colour colour) {
  switch (colour) {
    case Colour::warning:
    case Colour::question:
    case Colour::action: return "33";
    case Colour::error:
    case Colour::removed: return "31";
    case Colour::success:
    case Colour::added:
    case Colour::reply: return "32";
    case Colour::dim: return "90";
    case Colour::heading:
    case Colour::prompt: return "36";
    case Colour::command: return "35";
    case Colour::banner: return "1;35";
  }
  return "0";
}

}  // namespace

Printer::Printer(std::ostream& stream, const EnvLookup& env) : stream_(stream) {
  // A dumb terminal (an editor's shell buffer) shows neither colours nor
  // cursor moves; NO_COLOR asks for plain text but a redrawn line is fine.
  terminal_fd_ = terminal_fd(stream);
  const bool capable_terminal = terminal_fd_ >= 0 && env("TERM").value_or("dumb") != "dumb";
  redraws_lines_ = capable_terminal;
  colours_ = capable_terminal && !env("NO_COLOR");
}

Printer::Printer(std::ostream& stream, bool redraws_lines, bool colours, std::size_t columns)
    : stream_(stream), redraws_lines_(redraws_lines), colours_(colours), fixed_columns_(columns) {}

std::size_t terminal_columns(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
  return size.ws_col;
}

std::size_t Printer::columns() const { return terminal_fd_ < 0 ? fixed_columns_ : terminal_columns(terminal_fd_); }

const Printer& Printer::standard() {
  static const Printer printer = [] {
    Printer out(std::cout);
    out.send_notices_to(errors());
    return out;
  }();
  return printer;
}

const Printer& Printer::errors() {
  static const Printer printer(std::cerr);
  return printer;
}

std::string Printer::paint(Colour colour, std::string_view text) const {
  if (!colours_) return std::string(text);
  std::string painted = "\x1b[";
  painted.append(sgr_code(colour)).append("m").append(text).append("\x1b[0m");
  return painted;
}

}  // namespace wendlebox
