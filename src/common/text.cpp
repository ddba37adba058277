#include "common/text.h"

#include <charconv>

#include <fmt/format.h>

namespace wendlebox {

namespace {

// Length of the valid UTF-8 sequence at `pos`, or 0 with `invalid_length` set
// to how many bytes form the maximal invalid subpart.
std::size_t valid_sequence(std::string_view s, std::size_t pos, std::size_t& invalid_length) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b0 = byte(pos);
  invalid_length = 1;
  if (b0 < 0x80) return 1;
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    if (b0 == 0xE0) low = 0xA0;
    if (b0 == 0xED) high = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    if (b0 == 0xF0) low = 0x90;
    if (b0 == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if (pos + i >= s.size()) return 0;
    const unsigned char b = byte(pos + i);
    const unsigned char lo = i == 1 ? low : 0x80;
    const unsigned char hi = i == 1 ? high : 0xBF;
    if (b < lo || b > hi) return 0;
    invalid_length = i + 1;
  }
  return length;
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
  std::size_t pos = 0, invalid = 0;
  while (pos < bytes.size()) {
    const std::size_t length = valid_sequence(bytes, pos, invalid);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

std::string lossy_utf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t pos = 0, invalid = 0;
  while (pos < bytes.size()) {
    const std::size_t length = valid_sequence(bytes, pos, invalid);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      pos += invalid;
    } else {
      out.append(bytes.substr(pos, length));
      pos += length;
    }
  }
  return out;
}

bool is_unicode_whitespace(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}

char32_t next_char(std::string_view text, std::size_t& pos) {
  const auto b0 = static_cast<unsigned char>(text[pos]);
  std::size_t length = b0 < 0x80 ? 1 : b0 < 0xE0 ? 2 : b0 < 0xF0 ? 3 : 4;
  if (pos + length > text.size()) length = text.size() - pos;
  char32_t c = length == 1 ? b0 : length == 2 ? (b0 & 0x1F) : length == 3 ? (b0 & 0x0F) : (b0 & 0x07);
  for (std::size_t i = 1; i < length; ++i) c = (c << 6) | (static_cast<unsigned char>(text[pos + i]) & 0x3F);
  pos += length;
  return c;
}

namespace {

// The position of the first character at or after `pos` whose white-space
// property differs from `space`.
std::size_t skip_while(std::string_view text, std::size_t pos, bool space) {
  while (pos < text.size()) {
    std::size_t next = pos;
    if (is_unicode_whitespace(next_char(text, next)) != space) break;
    pos = next;
  }
  return pos;
}

}  // namespace

std::size_t skip_spaces(std::string_view text, std::size_t pos) { return skip_while(text, pos, true); }

std::size_t skip_word(std::string_view text, std::size_t pos) { return skip_while(text, pos, false); }

std::string_view trim(std::string_view text) {
  const std::size_t begin = skip_spaces(text, 0);
  std::size_t end = text.size();
  while (end > begin) {
    std::size_t start = end - 1;
    while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
    std::size_t probe = start;
    if (!is_unicode_whitespace(next_char(text, probe))) break;
    end = start;
  }
  return text.substr(begin, end - begin);
}

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string_view first_chars(std::string_view text, std::size_t count) {
  std::size_t pos = 0;
  for (std::size_t i = 0; i < count && pos < text.size(); ++i) next_char(text, pos);
  return text.substr(0, pos);
}

std::string shortened(std::string_view text, std::size_t count) {
  const std::string_view kept = first_chars(text, count);
  return std::string(kept) + (kept.size() < text.size() ? "…" : "");
}

std::size_t char_count(std::string_view text) {
  std::size_t count = 0;
  for (char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  return count;
}

std::vector<std::string> split_shell_words(std::string_view line, Backslash backslash) {
  std::vector<std::string> words;
  std::size_t at = skip_spaces(line, 0);
  while (at < line.size()) {
    std::string word;
    char quote = 0;
    while (at < line.size()) {
      const char c = line[at];
      std::size_t next = at;
      const char32_t character = next_char(line, next);
      if (quote == 0 && is_unicode_whitespace(character)) break;
      const std::string_view escapable = quote == 0 ? "\\\"' \t" : "\\\"";
      if (backslash == Backslash::Escapes && c == '\\' && quote != '\'' && next < line.size() &&
          escapable.contains(line[next])) {
        word += line[next];
        at = next + 1;
      } else if (quote == 0 && (c == '"' || c == '\'')) {
        quote = c, at = next;
      } else if (c == quote) {
        quote = 0, at = next;
      } else {
        word += line.substr(at, next - at), at = next;
      }
    }
    words.push_back(std::move(word));
    at = skip_spaces(line, at);
  }
  return words;
}

std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t newline = text.find_first_of('\n');
    std::string_view line = text.substr(0, newline);
    if (newline != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
    if (newline == std::string_view::npos) break;
    text.remove_prefix(newline + 1);
  }
  return lines;
}

bool parse_unsigned(std::string_view text, unsigned long long& value) {
  if (text.starts_with('+')) text.remove_prefix(1);
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

namespace {

// Characters that change how the text around them reads without showing:
// bidirectional marks, embeddings, overrides and isolates, and zero-width
// ones.
bool is_invisible_format(char32_t c) {
  return c == 0x061c || c == 0x180e || (c >= 0x200b && c <= 0x200f) || (c >= 0x202a && c <= 0x202e) ||
         (c >= 0x2060 && c <= 0x2069) || c == 0xfeff;
}

std::string shown_text(std::string_view text, std::string_view line_feed) {
  const std::string valid = lossy_utf8(text);
  std::string shown;
  shown.reserve(valid.size());
  for (std::size_t pos = 0; pos < valid.size();) {
    const std::size_t start = pos;
    const char32_t c = next_char(valid, pos);
    if (c == '\n') {
      shown += line_feed;
    } else if (is_invisible_format(c)) {
      shown += fmt::format("\\u{:04x}", static_cast<unsigned>(c));
    } else if (c == '\t' || (c >= 0x20 && c < 0x7f) || c > 0x9f) {
      shown.append(valid, start, pos - start);
    } else if (c == '\r') {
      shown += "\\r";
    } else {
      shown += fmt::format("\\x{:02x}", static_cast<unsigned>(c));
    }
  }
  return shown;
}

}  // namespace

std::string visible_text(std::string_view text) { return shown_text(text, "\n"); }

std::string one_line_text(std::string_view text) { return shown_text(text, "⏎"); }

}  // namespace wendlebox
