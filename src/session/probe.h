// `wendlebox --probe`: what the extension finds on ChatGPT's live page,
// for a bug report when ChatGPT changes its page.
#pragma once

#include <filesystem>
#include <optional>

#include "common/result.h"
#include "session/task.h"
#include "state/chats.h"

// Opens the chat (or a new chat) like a session, prints each landmark the
// extension looked for with the rule that found it, and writes the whole
// report (landmarks and the page's skeleton, no message text) into
// `folder`.
Status probe(const std::optional<Chat>& chat, const SessionWorld& world, const std::filesystem::path& folder);
