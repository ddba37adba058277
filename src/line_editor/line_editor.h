// A small line editor for the follow-up prompt: raw terminal mode, cursor
// keys, Home/End, Backspace/Delete, history, and lines that wrap over
// several rows with wide characters counted as two columns.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace wendlebox {

namespace line_editor {

enum class EditAction { Left, Right, HistoryPrevious, HistoryNext, Home, End, Backspace, Delete };

struct LineBuffer {
  std::optional<std::size_t> history_position;  // set while browsing the history
  std::string text;
  std::string saved_line;  // the line as typed before browsing began
  std::size_t cursor = 0;  // a byte offset on a character boundary

  void apply(EditAction action, const std::vector<std::string>& history);
  void insert(std::string_view typed);
};

// A line; nullopt at end of input or Ctrl-C. When input or output is not a
// terminal, the prompt is written and one buffered line read (with its
// line ending) from standard input; a terminal that cannot take escape
// sequences (TERM dumb or unset) gets the same without any, lines pasted
// together staying one.
Result<std::optional<std::string>> read_line(std::string_view prompt, const std::vector<std::string>& history,
                                             int input = 0, int output = 1);

// Redraws prompt and line, leaving the cursor in place; `rows_above` is the
// cursor's row below the prompt's first row, kept between redraws.
Status render_line(int output, std::string_view prompt, const LineBuffer& buffer, std::size_t& rows_above,
                   std::size_t columns);

// One more byte if it arrives within 80 ms.
Result<std::optional<unsigned char>> pending_byte(int input = 0);

// Terminal columns: escape sequences and control characters take none.
std::size_t display_width(std::string_view text);

// Plain text (no escape sequences) cut to fit in fewer than `columns`
// columns, ending in "…" when cut, so a line redrawn in place never wraps
// onto a row the redraw does not come back to. 0 columns: not a terminal,
// the text as it is.
std::string fit_to_columns(std::string_view text, std::size_t columns);

// A line typed at a terminal in its own line mode, with what keys such as
// the arrows sent (escape sequences) taken out.
std::string without_key_sequences(std::string_view line);

}  // namespace line_editor

}  // namespace wendlebox
