// The project's own instructions for coding agents (AGENTS.md and the
// files other agents read), handed to ChatGPT at the start of a chat so it
// follows the project's conventions from the first turn.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/printer.h"
#include "common/result.h"
#include "state/chats.h"

namespace wendlebox {

// The file names looked for, in order of preference, in the working folder
// and then in the top folder of its repository.
inline constexpr const char* kInstructionFiles[] = {"AGENTS.md", "CLAUDE.md", "GEMINI.md",
                                                     ".github/copilot-instructions.md"};
// What a prompt carries at most; a longer file is cut with a note.
inline constexpr std::size_t kMaxInstructionBytes = 16 * 1024;

struct ProjectInstructions {
  std::filesystem::path file;  // where it was found
  std::string text;            // as sent: at most kMaxInstructionBytes, control characters shown as escapes
  std::size_t size = 0;        // the file's whole size in bytes
  std::string digest;          // SHA-256 of `text`: what tells a changed file from the one sent before
};

// The instructions file of the working folder, else of the repository's
// top folder; nullopt when there is none. It is read through the same
// confinement as ChatGPT's reads (`roots` and the folder it lies in), so a
// link named AGENTS.md that leads elsewhere fails rather than being read.
Result<std::optional<ProjectInstructions>> find_project_instructions(const std::filesystem::path& folder,
                                                                     const std::vector<std::filesystem::path>& roots);

// The prompt's section: a heading naming the file, its text, and a note
// where it was cut. `shown_path` is the file's name as ChatGPT should see it.
std::string instructions_section(const ProjectInstructions& instructions, const std::string& shown_path);


// What a chat's first prompt of a session adds: the section, when the
// project has instructions and the chat has not had them as they are now
// (their digest is kept in `chat`). Which file was sent, or why it could
// not be, is said on `out`.
std::string instructions_for_chat(Chat& chat, const std::filesystem::path& folder,
                                  const std::vector<std::filesystem::path>& roots, const Printer& out);

}  // namespace wendlebox
