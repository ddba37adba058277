#include "actions/kept_output.h"

#include <algorithm>
#include <cstring>

#include <fmt/format.h>

#include "common/text.h"

namespace wendlebox {

namespace {

// A cut moves back (or, for the end, forward) to a line end this close to
// it, so that ChatGPT reads whole lines on both sides of the marker.
constexpr std::size_t kNearChars = 600;

std::uint64_t line_feeds(std::string_view text) { return static_cast<std::uint64_t>(std::ranges::count(text, '\n')); }

// The byte position after the first `count` characters of valid UTF-8.
std::size_t after_chars(std::string_view text, std::size_t count) { return first_chars(text, count).size(); }

// The start kept: about kKeptChars characters, ending after a line feed
// when one is near.
std::string_view kept_start(std::string_view text) {
  std::size_t end = after_chars(text, KeptOutput::kKeptChars);
  if (end == 0) return {};
  const std::size_t feed = text.rfind('\n', end - 1);
  if (feed != std::string_view::npos && char_count(text.substr(feed + 1, end - feed - 1)) <= kNearChars) end = feed + 1;
  return text.substr(0, end);
}

// The end kept: about kKeptChars characters, starting after a line feed
// when one is near.
std::string_view kept_end(std::string_view text) {
  const std::size_t total = char_count(text);
  std::size_t start = total > KeptOutput::kKeptChars ? after_chars(text, total - KeptOutput::kKeptChars) : 0;
  if (start > 0 && text[start - 1] != '\n') {
    const std::size_t feed = text.find('\n', start);
    if (feed != std::string_view::npos && feed + 1 < text.size() &&
        char_count(text.substr(start, feed - start)) <= kNearChars)
      start = feed + 1;
  }
  return text.substr(start);
}

}  // namespace

std::string grouped_number(std::uint64_t number, char separator) {
  std::string digits = std::to_string(number);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, separator);
  return digits;
}

std::string omitted_marker(std::uint64_t chars, std::uint64_t lines) {
  const std::string counted = fmt::format("{} character{}", grouped_number(chars), chars == 1 ? "" : "s");
  if (lines == 0) return fmt::format("[… {} omitted …]", counted);
  return fmt::format("[… {} ({} line{}) omitted …]", counted, grouped_number(lines), lines == 1 ? "" : "s");
}

// How many of a word's bytes have their high bit set, when only high bits
// are: without a popcount instruction to count on (the build targets any
// x86-64), a multiplication adds them up.
static std::uint64_t high_bits(std::uint64_t highs) { return ((highs >> 7) * 0x0101010101010101ULL) >> 56; }

// Characters (bytes that are not UTF-8 continuation bytes) and line feeds,
// counted eight bytes at a time: a command may print gigabytes.
void KeptOutput::count(std::string_view piece) {
  constexpr std::uint64_t kHigh = 0x8080808080808080ULL, kLow = 0x7F7F7F7F7F7F7F7FULL;
  constexpr std::uint64_t kFeeds = 0x0A0A0A0A0A0A0A0AULL;
  std::size_t at = 0;
  std::uint64_t continuations = 0, feeds = 0;
  for (; at + 8 <= piece.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, piece.data() + at, 8);
    continuations += high_bits(word & ~(word << 1) & kHigh);  // 10xxxxxx
    const std::uint64_t differs = word ^ kFeeds;
    feeds += 8 - high_bits((((differs & kLow) + kLow) | differs) & kHigh);
  }
  for (; at < piece.size(); ++at) {
    continuations += (static_cast<unsigned char>(piece[at]) & 0xC0) == 0x80;
    feeds += piece[at] == '\n';
  }
  chars_ += piece.size() - continuations;
  lines_ += feeds;
}

void KeptOutput::take(std::string_view piece) {
  bytes_ += piece.size();
  count(piece);
  const std::size_t into_head = std::min(piece.size(), kKeptBytes - head_.size());
  head_.append(piece.substr(0, into_head));
  piece.remove_prefix(into_head);
  if (piece.size() >= kKeptBytes) {
    tail_.assign(piece.substr(piece.size() - kKeptBytes));
    tail_start_ = 0;
    return;
  }
  while (!piece.empty()) {
    if (tail_.size() < kKeptBytes) {
      const std::size_t n = std::min(piece.size(), kKeptBytes - tail_.size());
      tail_.append(piece.substr(0, n));
      piece.remove_prefix(n);
      continue;
    }
    const std::size_t n = std::min(piece.size(), kKeptBytes - tail_start_);
    std::memcpy(tail_.data() + tail_start_, piece.data(), n);
    tail_start_ = (tail_start_ + n) % kKeptBytes;
    piece.remove_prefix(n);
  }
}

KeptOutput::Text KeptOutput::finish() const {
  const std::string tail_bytes = tail_.substr(tail_start_) + tail_.substr(0, tail_start_);
  std::string start_text, end_text;
  std::uint64_t chars = 0, lines = 0;
  if (bytes_ <= head_.size() + tail_bytes.size()) {
    std::string whole = lossy_utf8(head_ + tail_bytes);
    chars = char_count(whole);
    if (chars <= 2 * kKeptChars) return {std::move(whole), false};
    lines = line_feeds(whole);
    start_text = kept_start(whole);
    end_text = kept_end(whole);
  } else {
    // The end begins wherever the ring was overwritten last: a character
    // cut there is left out whole.
    std::size_t first = 0;
    while (first < tail_bytes.size() && first < 3 && (static_cast<unsigned char>(tail_bytes[first]) & 0xC0) == 0x80)
      ++first;
    chars = chars_;
    lines = lines_;
    start_text = kept_start(lossy_utf8(head_));
    end_text = kept_end(lossy_utf8(std::string_view(tail_bytes).substr(first)));
  }
  const std::uint64_t kept_chars = char_count(start_text) + char_count(end_text);
  const std::uint64_t kept_lines = line_feeds(start_text) + line_feeds(end_text);
  std::string text = std::move(start_text);
  if (!text.empty() && text.back() != '\n') text += '\n';
  text += omitted_marker(chars > kept_chars ? chars - kept_chars : 0, lines > kept_lines ? lines - kept_lines : 0);
  text += '\n';
  text += end_text;
  return {std::move(text), true};
}

}  // namespace wendlebox
