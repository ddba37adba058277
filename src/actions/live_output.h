// What a running command prints, shown to the user as it comes. What goes
// back to ChatGPT is captured apart and is not touched here.
#pragma once

#include <chrono>
#include <deque>
#include <iostream>
#include <string>
#include <string_view>

#include "common/printer.h"

namespace wendlebox {

class LiveOutput {
 public:
  // On a terminal that can rewrite lines, a window of the last lines is
  // redrawn in place with the seconds the command has run; elsewhere each
  // line is printed once it is complete.
  explicit LiveOutput(const Printer& out);

  // A piece of the command's output (`errors` for standard error); an empty
  // one only lets the seconds on the screen move on.
  void take(std::string_view piece, bool errors);

  // A line of the program's own while the command runs (it is being
  // stopped): printed for good above the window, which is drawn again below.
  void notice(Colour colour, std::string_view text);

  // The command has ended: on a terminal the window gives way to the last
  // lines, below how many others there were.
  void finish();

 private:
  using Clock = std::chrono::steady_clock;
  void line(std::string_view text);
  void draw(bool final);
  void erase();

  const Printer& out_;
  Clock::time_point started_ = Clock::now();
  Clock::time_point drawn_at_{};
  std::string partial_[2];
  std::deque<std::string> last_lines_;
  std::size_t lines_ = 0;       // non-blank lines seen
  std::size_t drawn_rows_ = 0;  // rows of the window now on the screen
};

}  // namespace wendlebox
