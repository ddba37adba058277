// The commands typed at the follow-up prompt that work on the session's
// committed prompts without ChatGPT: /undo and /diff.
#pragma once

namespace wendlebox {

struct Session;

// Takes back the newest prompt still committed; again, one prompt further back.
void undo_last_prompt(Session& session);

// Shows what the newest prompt still committed changed.
void show_last_prompt(const Session& session);

}  // namespace wendlebox
