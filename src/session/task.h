// One chat session between the user, ChatGPT and the actions.
#pragma once

#include <optional>
#include <string>

#include "common/result.h"
#include "state/chats.h"

Status task(std::optional<std::string> prompt, std::optional<Chat> chat, bool allow_commands, bool force_yes,
            bool sounds, bool git);
