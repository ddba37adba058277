// `wendlebox --probe`: what the extension finds on ChatGPT's live page,
// for a bug report when ChatGPT changes its page.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/json.h"
#include "common/result.h"
#include "session/task.h"
#include "state/chats.h"

namespace wendlebox {

// One landmark of the extension's report: what it looked for, whether it
// found it, and how (the rule that found it, or "not found").
struct ProbeLandmark {
  std::string name;
  bool found = false;
  std::string how;
};

// An element the extension could have used (a message editor, a file
// input), described with its size or attributes, and whether it is the one
// it uses.
struct ProbeCandidate {
  std::string what;
  bool used = false;
};

// The extension's report as decoded: its landmarks, and the candidates
// for the message editor and the file input (none from an older extension).
struct ProbeReport {
  Json value;
  std::vector<ProbeLandmark> landmarks;
  std::vector<ProbeCandidate> composers;
  std::vector<ProbeCandidate> file_inputs;
};

// The report in `text`, or a message saying what in it cannot be read.
Result<ProbeReport> read_probe_report(std::string_view text);

// Opens the chat (or a new chat) like a session, prints each landmark the
// extension looked for with the rule that found it, then the candidates
// for the message editor and the file input, and writes the whole
// report (landmarks and the page's skeleton, no message text) into
// `folder`.
Status probe(const std::optional<Chat>& chat, const SessionWorld& world, const std::filesystem::path& folder);

}  // namespace wendlebox
