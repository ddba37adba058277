#include "session/completion.h"
#include "common/printer.h"

#include <unistd.h>

#include <iostream>

#include "common/env.h"
#include "process/process.h"
#include "common/text.h"

namespace wendlebox {

namespace {

constexpr std::size_t kMaxLogChars = 4000;

bool plays(std::vector<std::string> argv) {
  auto sound = run_process(ProcessSpec{.argv = std::move(argv), .input = InputMode::Inherit,
                                       .output = OutputMode::Discard, .errors = OutputMode::Discard});
  return sound && sound->status.success();
}

}  // namespace

std::string compact_final_message(std::string_view message) {
  std::string out;
  bool inside_code = false;
  for (std::string_view line : split_lines(message)) {
    const std::string_view stripped = line.substr(skip_spaces(line, 0));
    if (stripped.starts_with("```")) {
      if (!inside_code) out += "[code omitted]\n";
      inside_code = !inside_code;
    } else if (!inside_code) {
      out.append(line).push_back('\n');
    }
  }
  const std::string_view trimmed = trim(out);
  if (char_count(trimmed) <= kMaxLogChars) return std::string(trimmed);
  return std::string(first_chars(trimmed, kMaxLogChars)) + "… [truncated]";
}

void play_completion_sound(const Printer& terminal) {
  if (is_wsl() && plays({"powershell.exe", "-NoProfile", "-NonInteractive", "-Command",
                         "[System.Media.SystemSounds]::Asterisk.Play()"}))
    return;
  if (plays({"canberra-gtk-play", "-i", "complete", "-d", "Wendlebox"})) return;
  terminal << '\a' << std::flush;
}

}  // namespace wendlebox
