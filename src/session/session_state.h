// What one chat session holds while it runs, by concern: its folders, its
// page, its chat and prompts, the record /undo works on, what its commands
// left running and what it told the user once. Shared by the files that
// carry out the session's parts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/attachment.h"
#include "git/git.h"
#include "undo/kept_copies.h"
#include "undo/prompt_watch.h"
#include "undo/undo_history.h"
#include "process/keepers.h"
#include "session/task.h"

namespace wendlebox {

// Where the session works: its folder and the other folders allowed.
struct SessionFolders {
  std::filesystem::path working{};
  std::vector<std::filesystem::path> roots{};  // the working folder first, then the others allowed
  std::string extra_text{};  // the others as the prompt names them, "(none)" when there are none
};

// The session's link to ChatGPT's page, and what the extension there said.
struct SessionPage {
  std::unique_ptr<PageLink> link{};
  std::uint64_t job_counter = 0;  // the id of the last job handed to the page
  std::optional<std::string> extension_version{};  // the one already checked
  std::optional<std::string> extension_browser{};  // the one already remembered
};

// The prompts of the chat: those typed, and what goes with the next one.
struct SessionPrompts {
  std::vector<std::string> history{};  // typed so far, offered again at the prompt
  std::vector<Attachment> pending{};   // images for the next message to ChatGPT
  bool first = true;  // no prompt has run yet in this session
  bool undone = false;  // ChatGPT must hear that its last change was taken back
  bool edits_approved = false;  // the user answered "a": this prompt's changes go through unasked
};

// What /undo and /diff work on: each finished prompt committed to Git, the
// changes the running prompt makes, and the copies kept to put files back.
struct UndoRecord {
  std::optional<GitSession> git_session{};  // none: this session commits nothing
  // The copies of files kept for /undo; declared before what holds them.
  KeptCopies kept{};
  std::optional<PromptWatch> watch{};  // of the running prompt, while Git keeps snapshots
  // The prompts this session committed and has not undone, oldest first:
  // /undo takes them back newest first, /diff shows the newest.
  UndoHistory committed{};
  std::size_t most_undoable = 0;  // the most prompts /undo reached back at once, for saying how far
  bool undone_any = false;  // some prompt was undone this session, which /undo says when none is left
};

// The lines said to the user once a session.
struct ToldOnce {
  bool how_to_go_on = false;  // how to type a prompt or leave
  bool bad_rules = false;     // the project's command rules file is unusable
};

struct Session {
  const SessionWorld& world;
  SessionSettings settings;
  SessionFolders folders{};
  SessionPage page{};
  Chat chat{};
  SessionPrompts prompts{};
  UndoRecord undo{};
  Keepers keepers{};  // of the commands run: what those left running ends with the session
  ToldOnce told{};
};

}  // namespace wendlebox
