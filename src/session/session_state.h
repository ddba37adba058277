// What one chat session holds while it runs: its folder, its page, the
// prompts it committed for /undo and what its commands left running. Shared
// by the files that carry out the session's parts.
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
#include "git/kept_copies.h"
#include "git/prompt_watch.h"
#include "git/undo_history.h"
#include "process/keepers.h"
#include "session/task.h"

struct Session {
  const SessionWorld& world;
  SessionSettings settings;
  std::filesystem::path folder{};
  std::vector<std::filesystem::path> roots{};
  std::string extra_folders{};
  std::unique_ptr<PageLink> page_link{};
  Chat chat{};
  std::uint64_t job_counter = 0;
  std::vector<Attachment> pending{};
  std::optional<GitSession> git_session{};
  std::vector<std::string> history{};
  std::optional<std::string> extension_version{};  // the one already checked
  std::optional<std::string> extension_browser{};  // the one already remembered
  // The copies of files kept for /undo; declared before what holds them.
  KeptCopies kept{};
  std::optional<PromptWatch> watch{};  // of the running prompt, while Git keeps snapshots
  // The prompts this session committed and has not undone, oldest first:
  // /undo takes them back newest first, /diff shows the newest.
  UndoHistory committed{};
  std::size_t most_undoable = 0;  // the most prompts /undo reached back at once, for saying how far
  bool undone_any = false;  // some prompt was undone this session, which /undo says when none is left
  bool undone = false;  // ChatGPT must hear that its last change was taken back
  bool first_prompt = true;
  bool told_how_to_go_on = false;  // the line saying how to type a prompt or leave, said once
  Keepers keepers{};  // of the commands run: what those left running ends with the session
  bool edits_approved = false;   // the user answered "a": this prompt's changes go through unasked
  bool told_bad_rules = false;   // the project's command rules file was said to be unusable
};
