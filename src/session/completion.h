// What happens when a prompt is finished: the short log form of the final
// answer, and a sound.
#pragma once

#include <string>
#include <string_view>

#include "common/printer.h"

namespace wendlebox {

// Code blocks become "[code omitted]"; over 4000 characters is cut.
std::string compact_final_message(std::string_view message);

// The Windows sound under WSL, else canberra-gtk-play, else the bell on
// `terminal`.
void play_completion_sound(const Printer& terminal);

}  // namespace wendlebox
