#include "actions/live_output.h"

#include <algorithm>

#include <fmt/format.h>

#include "actions/kept_output.h"
#include "common/text.h"
#include "i18n/i18n.h"
#include "line_editor/line_editor.h"
#include "actions/messages.h"

namespace wendlebox {

namespace {

constexpr std::size_t kShownLines = 5;
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
// What is kept of a line that has not ended: a command may print a
// gigabyte without a line break, and no screen shows more than this.
constexpr std::size_t kLongestLine = 4096;

using namespace messages::actions;

// How many lines scrolled away above the ones shown, in the user's words.
std::string earlier_lines(std::size_t hidden) {
  if (hidden == 1) return std::string(i18n::tr(kEarlierLine));
  const char separator = i18n::lang::LANG.get() == i18n::Language::English ? ',' : '.';
  return fmt::format(fmt::runtime(i18n::tr(kEarlierLines)), grouped_number(hidden, separator));
}

void append_bounded(std::string& partial, std::string_view piece) {
  if (partial.size() < kLongestLine) partial.append(piece.substr(0, kLongestLine - partial.size()));
}

}  // namespace

LiveOutput::LiveOutput(const Printer& out) : out_(out) {}

void LiveOutput::take(std::string_view piece, bool errors) {
  std::string& partial = partial_[errors ? 1 : 0];
  std::size_t start = 0;
  for (std::size_t end; (end = piece.find('\n', start)) != std::string_view::npos; start = end + 1) {
    append_bounded(partial, piece.substr(start, end - start));
    line(partial);
    partial.clear();
  }
  append_bounded(partial, piece.substr(start));
  if (out_.redraws_lines() && Clock::now() - drawn_at_ >= kRedrawEvery) draw(false);
}

void LiveOutput::line(std::string_view text) {
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  if (trim(lossy_utf8(text)).empty()) return;
  ++lines_;
  std::string shown = "  " + visible_text(text);
  if (!out_.redraws_lines()) {
    out_ << out_.paint(Colour::dim, shown) << '\n' << std::flush;
    return;
  }
  // A tab would take the terminal up to eight columns that no width count sees.
  std::ranges::replace(shown, '\t', ' ');
  last_lines_.push_back(shown);
  if (last_lines_.size() > kShownLines) last_lines_.pop_front();
}

void LiveOutput::erase() {
  if (drawn_rows_ > 0) out_ << fmt::format("\x1b[{}F\x1b[J", drawn_rows_);
  drawn_rows_ = 0;
}

// The window: how many lines went by unseen, the last lines, then (while
// the command runs) how long it has run. Each line is cut to one row of
// the terminal as it is now, so going up as many rows as were drawn
// reaches the window's top, whatever the width.
void LiveOutput::draw(bool final) {
  const std::size_t columns = out_.columns();
  erase();
  const std::size_t hidden = lines_ - last_lines_.size();
  if (hidden > 0) {
    out_.line(Colour::dim, line_editor::fit_to_columns("  " + earlier_lines(hidden), columns));
    ++drawn_rows_;
  }
  for (const std::string& shown : last_lines_) out_.line(Colour::dim, line_editor::fit_to_columns(shown, columns));
  drawn_rows_ += last_lines_.size();
  if (!final) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - started_).count();
    out_.line(Colour::dim, line_editor::fit_to_columns(fmt::format("  … {} s", seconds), columns));
    ++drawn_rows_;
  }
  out_ << std::flush;
  drawn_at_ = Clock::now();
}

void LiveOutput::notice(Colour colour, std::string_view text) {
  if (!out_.redraws_lines()) {
    out_.line(colour, text);
    out_ << std::flush;
    return;
  }
  erase();
  out_.line(colour, text);
  draw(false);
}

void LiveOutput::finish() {
  for (std::string& partial : partial_) {
    if (!partial.empty()) line(partial);
    partial.clear();
  }
  if (out_.redraws_lines()) draw(true);
}

}  // namespace wendlebox
