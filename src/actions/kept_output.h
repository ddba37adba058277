// What is kept of one stream of a command's output for ChatGPT: its start
// and its end, with one line between them saying how much was left out.
// A build or a test run says what matters last ("3 failed"), so the end
// must survive however much the command prints; memory stays bounded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace wendlebox {

class KeptOutput {
 public:
  // About this many characters are kept of the start and of the end.
  static constexpr std::size_t kKeptChars = 6'000;

  void take(std::string_view piece);

  struct Text {
    std::string text;  // valid UTF-8
    bool truncated = false;
  };
  // The stream as kept: whole when it is short, else its start, the
  // marker line and its end, each part cut at a line end when one is near.
  Text finish() const;

 private:
  // Four bytes per character at most, and room to look for a line end.
  static constexpr std::size_t kKeptBytes = kKeptChars * 4 + 4'096;

  void count(std::string_view piece);

  std::string head_;   // the first kKeptBytes bytes
  std::string tail_;   // ring of the last kKeptBytes bytes after the head
  std::size_t tail_start_ = 0;  // where the oldest byte of the full ring is
  std::uint64_t bytes_ = 0;
  std::uint64_t chars_ = 0;  // characters, counted by their first bytes
  std::uint64_t lines_ = 0;  // line feeds
};

// "[… 18,240 characters (412 lines) omitted …]"
std::string omitted_marker(std::uint64_t chars, std::uint64_t lines);

// 18240 as "18,240".
std::string grouped_number(std::uint64_t number, char separator = ',');

}  // namespace wendlebox
