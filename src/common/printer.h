// Where the user reads: one stream, and what it can show decided once for it
// (whether it is a terminal that can redraw a line, whether to colour), so
// that no message asks the wrong stream whether it is a terminal.
#pragma once

#include <iostream>
#include <string>
#include <string_view>

#include "common/env.h"

class Printer {
 public:
  // Only the process's standard output and error can be terminals; any
  // other stream (a string in a test, a file) shows plain text.
  explicit Printer(std::ostream& stream, const EnvLookup& env = process_env);
  Printer(std::ostream& stream, bool redraws_lines, bool colours);

  // Text written to `buffer` that will be shown on this printer's stream
  // later, so it is painted as that stream shows colour.
  Printer for_buffer(std::ostream& buffer) const { return Printer(buffer, false, colours_); }

  // The printers of the process's standard output and error.
  static const Printer& standard();
  static const Printer& errors();

  // `text` in the ANSI colour `code` when this stream shows colour.
  std::string paint(std::string_view code, std::string_view text) const;
  // `text` in the colour `code`, then a line break.
  void line(std::string_view code, std::string_view text) const { stream_ << paint(code, text) << '\n'; }
  // Whether progress may be drawn in place (a terminal that is not dumb).
  bool redraws_lines() const { return redraws_lines_; }

  template <typename T>
  std::ostream& operator<<(const T& value) const {
    return stream_ << value;
  }
  std::ostream& operator<<(std::ostream& (*manipulator)(std::ostream&)) const { return stream_ << manipulator; }
  void flush() const { stream_.flush(); }

 private:
  std::ostream& stream_;
  bool redraws_lines_;
  bool colours_;
};
