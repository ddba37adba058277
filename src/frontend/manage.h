// The management commands: settings, the allow list and saved chats, each
// run from the command line and answered with a few printed lines.
#pragma once

#include <filesystem>
#include <string>

#include "common/printer.h"
#include "common/result.h"
#include "state/chats.h"

namespace wendlebox {

Status set_allow_commands(const Printer& out, bool allow);
// --review-edits (true) and --apply-edits (false).
Status set_review_edits(const Printer& out, bool review);
Status set_sounds(const Printer& out, bool enabled);
Status set_git(const Printer& out, bool enabled);
Status set_project_instructions(const Printer& out, bool enabled);
// Saves the command that opens ChatGPT; "default" clears it.
Status set_browser(const Printer& out, const std::string& command);

// An absolute argument as given, a relative one joined to the current folder.
Result<std::filesystem::path> requested_folder(const std::string& text);
// The root or the home folder is added only once confirmed at a terminal,
// or with `yes`.
Status allow_add(const Printer& out, const std::string& text, bool yes = false);
Status allow_remove(const Printer& out, const std::string& text);
Status list_allowed(const Printer& out);

Status list_chats(const Printer& out, bool all);
// A saved chat by number, id or address; an unsaved address opens in the current folder.
Result<Chat> resolve_chat(const Printer& out, const std::string& reference);
Status show_chatlog(const Printer& out, const std::string& reference);

}  // namespace wendlebox
