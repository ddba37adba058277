// One chat session between the user, ChatGPT and the actions.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"
#include "session/page_link.h"
#include "state/chats.h"

namespace wendlebox {

struct SessionSettings {
  bool allow_commands = true;
  bool force_yes = false;  // --force-yes given on the command line: every request is allowed
  bool sounds = true;
  bool git = true;
  bool open_browser = true;  // false with --no-browser: the page is shown to be opened by hand
  bool review_edits = false;  // each change to a file is shown and asked about first
  unsigned command_timeout = 600;  // seconds a command may run when ChatGPT gives no timeout
  bool project_instructions = true;  // the project's AGENTS.md (or the like) goes with a chat's first prompt
};

// What a session takes from the world around it, so that a test can stand
// in for the link to the page, the terminal and the fixed port.
struct SessionWorld {
  // The session's way to ChatGPT's page, made when the session starts in
  // its working folder (empty for a probe).
  std::function<std::unique_ptr<PageLink>(const std::filesystem::path& folder)> page_link;
  // The next prompt of the chat (shown with its address, when known), or
  // nullopt when the user leaves; `history` holds the earlier prompts.
  std::function<Result<std::optional<std::string>>(const std::optional<std::string>& chat_url,
                                                   std::vector<std::string>& history)>
      read_prompt;
  // Everything the session tells the user, its yes/no questions and the bell
  // when a prompt is done included. The prompt is read_prompt's, and /diff
  // is handed to the terminal itself (through git's pager).
  const Printer& out;
};

Status task(std::optional<std::string> prompt, std::optional<Chat> chat, const SessionSettings& settings,
            const SessionWorld& world);

// Opens the chat's page (or a new chat) like a session and asks the
// extension what it finds there, without sending anything: returns its
// report (JSON text).
Result<std::string> probe_page(const std::optional<Chat>& chat, const SessionWorld& world);

}  // namespace wendlebox
