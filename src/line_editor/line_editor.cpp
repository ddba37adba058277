#include "line_editor/line_editor.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <iostream>

#include <fmt/format.h>
#include <utf8proc.h>

#include "common/end_signals.h"
#include "common/env.h"
#include "common/files.h"
#include "common/printer.h"
#include "common/text.h"

namespace wendlebox {

namespace line_editor {

namespace {

// The escape sequences this editor reads and writes.
//   read   ESC [ A / B / C / D     up, down, right, left (also ESC O A..D)
//          ESC [ H, ESC O H, ESC [ 1 ~, ESC [ 7 ~     Home
//          ESC [ F, ESC O F, ESC [ 4 ~, ESC [ 8 ~     End
//          ESC [ 3 ~               Delete
//          ESC [ 200 ~ ... ESC [ 201 ~     a paste, taken as it is
//          any other ESC [ <parameters> <final byte> is read whole and ignored
//   write  ESC [ ? 2004 h / l      bracketed paste on while reading, off after
//          ESC [ J, ESC [ n A, ESC [ n C     clear below, cursor up, cursor right
constexpr std::string_view kPasteOn = "\x1b[?2004h";
constexpr std::string_view kPasteOff = "\x1b[?2004l";
constexpr std::string_view kPasteEnd = "\x1b[201~";
// A line feed inside the prompt, as the line shows it: one column.
constexpr std::string_view kLineFeedMark = "\u21b5";

bool is_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::size_t previous_boundary(const std::string& text, std::size_t pos) {
  do --pos;
  while (pos > 0 && is_continuation(text[pos]));
  return pos;
}

std::size_t next_boundary(const std::string& text, std::size_t pos) {
  do ++pos;
  while (pos < text.size() && is_continuation(text[pos]));
  return pos;
}

// Puts the terminal back as it was on every way out of read_line:
// attributes restored and bracketed paste turned off again.
class RawMode {
 public:
  RawMode(int input, int output) : input_(input), output_(output) {}
  Status enter() {
    if (::tcgetattr(input_, &saved_) != 0) return os_failure();
    termios raw = saved_;
    raw.c_lflag &= ~(ISIG | ICANON | ECHO);
    // A pasted CR LF must reach the editor as it was sent, not as two line feeds.
    raw.c_iflag &= ~ICRNL;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (::tcsetattr(input_, TCSANOW, &raw) != 0) return os_failure();
    active_ = true;
    return write_all(output_, kPasteOn);
  }
  Status leave() {
    if (!active_) return {};
    active_ = false;
    ::tcsetattr(input_, TCSANOW, &saved_);
    return write_all(output_, kPasteOff);
  }
  // A destructor has no one to tell of a failed write; the terminal's mode
  // is restored before it, whatever it gives.
  ~RawMode() { (void)leave(); }

 private:
  int input_, output_;
  termios saved_{};
  bool active_ = false;
};

Result<unsigned char> read_byte(int input) {
  unsigned char byte = 0;
  for (;;) {
    const ssize_t n = ::read(input, &byte, 1);
    if (n == 1) return byte;
    if (n == 0) return failure("Terminal closed");
    if (errno != EINTR || end_signal() != 0) return os_failure();
  }
}

// Whether input that is not a terminal (a script, a file, a pipe whose
// writer is gone) has ended, asked without waiting: a pipe still open and
// empty has not, as whoever drives it may wait for the prompt to write.
bool input_has_ended(int input) {
  if (std::cin.rdbuf()->in_avail() > 0) return false;
  pollfd ready{input, POLLIN, 0};
  if (::poll(&ready, 1, 0) <= 0) return false;  // nothing yet: reading would wait
  return std::cin.peek() == std::char_traits<char>::eof();
}

Result<std::optional<std::string>> read_buffered_line(std::string_view prompt, int input = -1) {
  // Ended input asks for nothing more: no prompt is shown that no one will answer.
  if (input >= 0 && input_has_ended(input)) {
    if (std::cin.bad()) return os_failure(errno ? errno : EIO);
    return std::optional<std::string>();
  }
  std::cout << prompt << std::flush;
  std::string line;
  if (!std::getline(std::cin, line)) {
    if (std::cin.bad()) return os_failure(errno ? errno : EIO);
    return std::optional<std::string>();
  }
  if (!std::cin.eof()) line += '\n';
  return std::optional<std::string>(line);
}

// Whether the terminal is one the editor's sequences suit: a dumb one (an
// editor's shell buffer, some IDE consoles) or one that does not say what
// it is would show them as garbage.
bool terminal_takes_sequences(const EnvLookup& env) {
  const std::string term = env("TERM").value_or("");
  return !term.empty() && term != "dumb" && term != "unknown";
}

// Plain lines in the terminal's own line mode. Lines that are already
// waiting when one is read came with it in one paste, and stay one prompt.
Result<std::optional<std::string>> read_plain_line(std::string_view prompt, int input) {
  auto line = read_buffered_line(prompt);
  if (!line || !*line) return line;
  **line = without_key_sequences(**line);
  for (;;) {
    pollfd waiting{input, POLLIN, 0};
    const bool more = std::cin.rdbuf()->in_avail() > 0 || ::poll(&waiting, 1, 30) > 0;
    std::string next;
    if (!more || !std::getline(std::cin, next)) return line;
    **line += without_key_sequences(next) + (std::cin.eof() ? "" : "\n");
  }
}

// What an escape sequence asks for.
struct Escape {
  std::optional<EditAction> action;
  bool paste = false;
};

// Reads what follows an Escape. A CSI sequence (ESC [ parameters final) is
// read whole, so a key the editor does not know leaves nothing behind.
Result<Escape> escape_sequence(int input) {
  auto first = pending_byte(input);
  if (!first) return std::unexpected(first.error());
  if (!*first || (**first != '[' && **first != 'O')) return Escape{};
  std::string parameters;
  for (;;) {
    auto next = pending_byte(input);
    if (!next) return std::unexpected(next.error());
    if (!*next) return Escape{};
    const unsigned char c = **next;
    if (**first == '[' && c >= 0x20 && c <= 0x3f) {  // parameter and intermediate bytes
      parameters += static_cast<char>(c);
      continue;
    }
    const std::string code = parameters + static_cast<char>(c);
    if (code == "A") return Escape{EditAction::HistoryPrevious};
    if (code == "B") return Escape{EditAction::HistoryNext};
    if (code == "C") return Escape{EditAction::Right};
    if (code == "D") return Escape{EditAction::Left};
    if (code == "H" || code == "1~" || code == "7~") return Escape{EditAction::Home};
    if (code == "F" || code == "4~" || code == "8~") return Escape{EditAction::End};
    if (code == "3~") return Escape{EditAction::Delete};
    if (code == "200~") return Escape{std::nullopt, true};
    return Escape{};
  }
}

// The pasted text, up to the end-of-paste sequence; a pasted CR or CR LF
// is a line feed, not Enter.
Result<std::string> pasted_text(int input) {
  std::string text;
  while (!text.ends_with(kPasteEnd)) {
    auto byte = read_byte(input);
    if (!byte) return std::unexpected(byte.error());
    text += static_cast<char>(*byte);
  }
  text.resize(text.size() - kPasteEnd.size());
  std::string lines;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      lines += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      lines += text[i];
    }
  }
  return lossy_utf8(lines);
}

// The line as the terminal shows it: line feeds as a visible mark.
std::string shown(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n')
      out += kLineFeedMark;
    else
      out += c;
  }
  return out;
}

Result<std::string> utf8_character(int input, unsigned char first) {
  const std::size_t length = (first & 0xE0) == 0xC0 ? 2 : (first & 0xF0) == 0xE0 ? 3 : (first & 0xF8) == 0xF0 ? 4 : 1;
  std::string bytes(1, static_cast<char>(first));
  while (bytes.size() < length) {
    auto next = read_byte(input);
    if (!next) return std::unexpected(next.error());
    bytes += static_cast<char>(*next);
  }
  return bytes;
}

Status write_text(int output, std::string_view text) { return write_all(output, text); }

}  // namespace

void LineBuffer::apply(EditAction action, const std::vector<std::string>& history) {
  const auto show = [&](const std::string& line) {
    text = line;
    cursor = text.size();
  };
  switch (action) {
    case EditAction::Left:
      if (cursor > 0) cursor = previous_boundary(text, cursor);
      break;
    case EditAction::Right:
      if (cursor < text.size()) cursor = next_boundary(text, cursor);
      break;
    case EditAction::Home: cursor = 0; break;
    case EditAction::End: cursor = text.size(); break;
    case EditAction::Backspace:
      if (cursor > 0) {
        const std::size_t start = previous_boundary(text, cursor);
        text.erase(start, cursor - start);
        cursor = start;
      }
      break;
    case EditAction::Delete:
      if (cursor < text.size()) text.erase(cursor, next_boundary(text, cursor) - cursor);
      break;
    case EditAction::HistoryPrevious:
      if (history.empty()) break;
      if (!history_position) {
        saved_line = text;
        history_position = history.size() - 1;
      } else if (*history_position > 0) {
        --*history_position;
      }
      show(history[*history_position]);
      break;
    case EditAction::HistoryNext:
      if (!history_position) break;
      if (*history_position + 1 < history.size()) {
        show(history[++*history_position]);
      } else {
        history_position.reset();
        show(saved_line);
      }
      break;
  }
}

void LineBuffer::insert(std::string_view typed) {
  text.insert(cursor, typed);
  cursor += typed.size();
}

namespace {

std::size_t char_width(char32_t c) {
  if (c < 32 || (c >= 127 && c < 160)) return 0;  // control characters
  if (c < 127) return 1;
  const int columns = utf8proc_charwidth(static_cast<utf8proc_int32_t>(c));
  return columns > 0 ? static_cast<std::size_t>(columns) : 0;
}

}  // namespace

std::size_t display_width(std::string_view text) {
  std::size_t width = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t c = next_char(text, pos);
    if (c == 27) {
      if (pos < text.size() && text[pos] == '[') {
        ++pos;
        while (pos < text.size() && !(text[pos] >= '@' && text[pos] <= '~')) next_char(text, pos);
        if (pos < text.size()) ++pos;
      } else if (pos < text.size()) {
        next_char(text, pos);
      }
    } else {
      width += char_width(c);
    }
  }
  return width;
}

std::string fit_to_columns(std::string_view text, std::size_t columns) {
  if (columns == 0 || display_width(text) < columns) return std::string(text);
  const std::size_t room = columns > 2 ? columns - 2 : 0;  // "…" takes the last column left
  std::size_t width = 0, pos = 0;
  while (pos < text.size()) {
    std::size_t next = pos;
    const std::size_t w = char_width(next_char(text, next));
    if (width + w > room) break;
    width += w;
    pos = next;
  }
  return std::string(text.substr(0, pos)) + (columns > 1 ? "\u2026" : "");
}

std::string without_key_sequences(std::string_view line) {
  std::string kept;
  for (std::size_t pos = 0; pos < line.size();) {
    if (line[pos] != '\x1b') {
      kept += line[pos++];
      continue;
    }
    ++pos;
    if (pos < line.size() && line[pos] == '[') {  // ESC [ parameters final
      ++pos;
      while (pos < line.size() && static_cast<unsigned char>(line[pos]) >= 0x20 && static_cast<unsigned char>(line[pos]) <= 0x3f) ++pos;
      if (pos < line.size()) ++pos;
    } else if (pos < line.size() && line[pos] == 'O') {  // ESC O x
      pos = std::min(line.size(), pos + 2);
    } else if (pos < line.size()) {  // Alt+key
      ++pos;
    }
  }
  return kept;
}

Status render_line(int output, std::string_view prompt, const LineBuffer& buffer, std::size_t& rows_above,
                   std::size_t columns) {
  std::string out = "\r";
  if (rows_above > 0) out += fmt::format("\x1b[{}A", rows_above);
  out += fmt::format("\x1b[J{}{}", prompt, shown(buffer.text));
  const std::size_t prompt_width = display_width(prompt);
  const std::size_t total = prompt_width + display_width(shown(buffer.text));
  const std::size_t cursor = prompt_width + display_width(shown(std::string_view(buffer.text).substr(0, buffer.cursor)));
  const std::size_t end_row = total / columns, cursor_row = cursor / columns, cursor_column = cursor % columns;
  // A line ending exactly at the margin leaves the terminal's cursor there;
  // a new line puts it on the row below, where the arithmetic expects it.
  if (total > 0 && total % columns == 0) out += "\r\n";
  out += "\r";
  if (cursor_row < end_row) out += fmt::format("\x1b[{}A", end_row - cursor_row);
  if (cursor_column > 0) out += fmt::format("\x1b[{}C", cursor_column);
  rows_above = cursor_row;
  return write_text(output, out);
}

Result<std::optional<unsigned char>> pending_byte(int input) {
  pollfd waiting{input, POLLIN, 0};
  int ready = 0;
  do ready = ::poll(&waiting, 1, 80);
  while (ready < 0 && errno == EINTR);
  if (ready < 0) return os_failure();
  if (ready == 0) return std::optional<unsigned char>();
  auto byte = read_byte(input);
  if (!byte) return std::unexpected(byte.error());
  return std::optional<unsigned char>(*byte);
}

Result<std::optional<std::string>> read_line(std::string_view prompt, const std::vector<std::string>& history,
                                             int input, int output) {
  if (!::isatty(input) || !::isatty(output)) return read_buffered_line(prompt, ::isatty(input) ? -1 : input);
  if (!terminal_takes_sequences(process_env)) return read_plain_line(prompt, input);
  std::cout.flush();
  RawMode raw(input, output);
  if (auto entered = raw.enter(); !entered) return std::unexpected(entered.error());
  LineBuffer buffer;
  std::size_t rows_above = 0;
  if (auto drawn = render_line(output, prompt, buffer, rows_above, terminal_columns(output)); !drawn)
    return std::unexpected(drawn.error());
  const auto finish = [&](std::string_view ending) -> Status {
    if (auto left = raw.leave(); !left) return left;
    return write_text(output, ending);
  };
  for (;;) {
    auto byte = read_byte(input);
    if (!byte) return std::unexpected(byte.error());
    const unsigned char b = *byte;
    if (b == 3) {
      if (auto done = finish(buffer.text.empty() ? "\r\n" : "^C\r\n"); !done) return std::unexpected(done.error());
      return std::optional<std::string>();
    }
    if (b == 4 && buffer.text.empty()) {
      if (auto done = finish("\r\n"); !done) return std::unexpected(done.error());
      return std::optional<std::string>();
    }
    if (b == 10 || b == 13) {
      if (auto done = finish("\r\n"); !done) return std::unexpected(done.error());
      return std::optional<std::string>(buffer.text);
    }
    if (b == 1) {
      buffer.cursor = 0;
    } else if (b == 4) {
      buffer.apply(EditAction::Delete, history);
    } else if (b == 5) {
      buffer.cursor = buffer.text.size();
    } else if (b == 8 || b == 127) {
      buffer.apply(EditAction::Backspace, history);
    } else if (b == 21) {
      buffer.text.clear();
      buffer.cursor = 0;
      buffer.history_position.reset();
    } else if (b == 27) {
      auto escape = escape_sequence(input);
      if (!escape) return std::unexpected(escape.error());
      if (escape->action) buffer.apply(*escape->action, history);
      if (escape->paste) {
        auto text = pasted_text(input);
        if (!text) return std::unexpected(text.error());
        buffer.insert(*text);
      }
    } else if (b >= 32 && b <= 126) {
      buffer.insert(std::string(1, static_cast<char>(b)));
    } else if (b >= 128) {
      auto character = utf8_character(input, b);
      if (!character) return std::unexpected(character.error());
      if (is_valid_utf8(*character)) buffer.insert(*character);
    }
    if (auto drawn = render_line(output, prompt, buffer, rows_above, terminal_columns(output)); !drawn)
      return std::unexpected(drawn.error());
  }
}

}  // namespace line_editor

}  // namespace wendlebox
