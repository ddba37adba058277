// Where the user reads: one stream, and what it can show decided once for it
// (whether it is a terminal that can redraw a line, whether to colour), so
// that no message asks the wrong stream whether it is a terminal.
#pragma once

#include <iostream>
#include <string>
#include <string_view>

#include "common/env.h"

namespace wendlebox {

// What a coloured text means to the reader. Colours are chosen by meaning,
// so that one kind of message looks the same wherever it is printed; several
// meanings may share a colour.
enum class Colour {
  warning,   // yellow: something went wrong or needs the user's eye
  question,  // yellow: a question waiting for the user's answer
  action,    // yellow: the name of an action being done (Read, Run, ...)
  error,     // red: a failure
  success,   // green: something that worked
  removed,   // red: a line a change takes out
  added,     // green: a line a change puts in
  reply,     // green: ChatGPT's name before its words, and the wait for them
  dim,       // grey: hints, progress, detail
  heading,   // cyan: names, headings, the number to pick
  prompt,    // cyan: where the user types
  command,   // magenta: a shell command as it will run
  banner,    // bold magenta: the one step the user must take by hand
};

// The width of the terminal on `fd`, 80 when it does not say.
std::size_t terminal_columns(int fd);

class Printer {
 public:
  // Only the process's standard output and error can be terminals; any
  // other stream (a string in a test, a file) shows plain text.
  explicit Printer(std::ostream& stream, const EnvLookup& env = process_env);
  // `columns` stands for the terminal's width (0: not a terminal).
  Printer(std::ostream& stream, bool redraws_lines, bool colours, std::size_t columns = 0);

  // Text written to `buffer` that will be shown on this printer's stream
  // later, so it is painted as that stream shows colour.
  Printer for_buffer(std::ostream& buffer) const { return Printer(buffer, false, colours_, columns()); }

  // The printers of the process's standard output and error.
  static const Printer& standard();
  static const Printer& errors();
  // Where a notice beside this printer's output goes, so that it never mixes
  // into a listing: standard error for standard output, else this printer.
  const Printer& notices() const { return notices_ ? *notices_ : *this; }
  void send_notices_to(const Printer& notices) { notices_ = &notices; }

  // `text` in `colour` when this stream shows colour.
  std::string paint(Colour colour, std::string_view text) const;
  // `text` in `colour`, then a line break.
  void line(Colour colour, std::string_view text) const { stream_ << paint(colour, text) << '\n'; }
  // Whether progress may be drawn in place (a terminal that is not dumb).
  bool redraws_lines() const { return redraws_lines_; }
  // The terminal's width in columns, asked anew each time (the window may
  // have been resized); 0 when the stream is no terminal.
  std::size_t columns() const;

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
  int terminal_fd_ = -1;           // the descriptor to ask for the width
  std::size_t fixed_columns_ = 0;  // the width given instead
  const Printer* notices_ = nullptr;
};

}  // namespace wendlebox
