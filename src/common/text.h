// UTF-8 text helpers. Characters are Unicode scalar values, never bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace wendlebox {

bool is_valid_utf8(std::string_view bytes);

// Invalid sequences become U+FFFD, one per maximal invalid subpart.
std::string lossy_utf8(std::string_view bytes);

bool is_unicode_whitespace(char32_t c);

// In valid UTF-8 text, the position after the Unicode White_Space (or the
// run of other characters) that starts at `pos`.
std::size_t skip_spaces(std::string_view text, std::size_t pos);
std::size_t skip_word(std::string_view text, std::size_t pos);

// Trims Unicode White_Space from both ends of valid UTF-8 text.
std::string_view trim(std::string_view text);

std::string ascii_lower(std::string_view text);

// The first `count` characters of valid UTF-8 text.
std::string_view first_chars(std::string_view text, std::size_t count);

// The first `count` characters of valid UTF-8 text, ending in "…" when
// some were cut.
std::string shortened(std::string_view text, std::size_t count);

std::size_t char_count(std::string_view text);

// Decodes the character starting at `pos` of valid UTF-8 and advances `pos`.
char32_t next_char(std::string_view text, std::size_t& pos);

// Whether a backslash in a command line escapes what follows it.
enum class Backslash { Literal, Escapes };

// The words of a command line as a shell would split it, without any
// expansion: blanks separate words; "..." and '...' keep blanks (a path
// such as "/opt/My Browser/chrome"); a quote left open runs to the end.
// With Backslash::Escapes a backslash keeps the quote, blank or backslash
// after it (inside "..." only a double quote or backslash; inside '...'
// nothing), and any other backslash is itself, as in a Windows path.
std::vector<std::string> split_shell_words(std::string_view line, Backslash backslash);

// Splits at "\n", dropping a "\r" before it; a final "\n" adds no empty line.
std::vector<std::string_view> split_lines(std::string_view text);

// Text from a reply made safe for the terminal: control characters (C0,
// DEL and C1) are shown as escapes such as "\x1b" and "\r", so a message
// or a command cannot move the cursor, rewrite the line or talk to the
// terminal; bidirectional controls and zero-width characters, which would
// make the text read otherwise than it runs, as "\u202e"; line feeds and
// tabs are kept. Invalid UTF-8 shows as U+FFFD.
std::string visible_text(std::string_view text);

// The same on one line: a line feed shows as "⏎", so a command, a path or
// a name cannot push its start out of sight with blank lines.
std::string one_line_text(std::string_view text);

// An unsigned decimal number: an optional "+", then ASCII digits, below 2^64.
bool parse_unsigned(std::string_view text, unsigned long long& value);

}  // namespace wendlebox
