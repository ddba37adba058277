#include "session/project_instructions.h"

#include <sys/stat.h>

#include <algorithm>

#include <fmt/format.h>

#include "workspace/safe_path.h"
#include "common/digest.h"
#include "common/files.h"
#include "common/folders.h"
#include "common/text.h"
#include "git/git.h"
#include "i18n/i18n.h"
#include "session/messages.h"

namespace wendlebox {

namespace {

using namespace messages::session;

// The bytes as a prompt may carry them: cut at the limit on a character's
// start, line ends made plain, and control characters shown as escapes so
// the file cannot steer the page the extension types into.
std::string prompt_text(std::string bytes) {
  if (bytes.size() > kMaxInstructionBytes) {
    std::size_t cut = kMaxInstructionBytes;
    while (cut > 0 && (static_cast<unsigned char>(bytes[cut]) & 0xC0) == 0x80) --cut;
    bytes.resize(cut);
  }
  std::string plain;
  plain.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i)
    if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) plain += bytes[i];
  return visible_text(plain);
}

Result<ProjectInstructions> read_instructions(const std::filesystem::path& dir, const std::string& name,
                                              std::vector<std::filesystem::path> roots) {
  roots.push_back(dir);  // the repository's top folder may lie above the working folder
  auto path = safe_path(dir, roots, (dir / name).string(), false);
  if (!path) return std::unexpected(path.error());
  auto file = open_regular_file(*path);
  if (!file) return std::unexpected(file.error());
  struct stat info {};
  if (::fstat(file->get(), &info) != 0) return os_failure();
  // One byte past the limit tells where a character that straddles it starts.
  auto bytes = read_fd(file->get(), kMaxInstructionBytes + 1);
  if (!bytes) return std::unexpected(bytes.error());
  const std::size_t read_size = bytes->size();
  std::string text = prompt_text(std::move(*bytes));
  std::string digest = hex_of(sha256_of(text));
  return ProjectInstructions{.file = dir / name,
                             .text = std::move(text),
                             .size = std::max(static_cast<std::size_t>(info.st_size), read_size),
                             .digest = std::move(digest)};
}

}  // namespace

Result<std::optional<ProjectInstructions>> find_project_instructions(const std::filesystem::path& folder,
                                                                     const std::vector<std::filesystem::path>& roots) {
  std::vector<std::filesystem::path> dirs{folder};
  if (auto top = repository_top(folder); top && *top != folder) dirs.push_back(*top);
  for (const std::filesystem::path& dir : dirs)
    for (const char* name : kInstructionFiles) {
      struct stat info {};
      if (::lstat((dir / name).c_str(), &info) != 0) continue;
      // The first one present is the project's choice: one that cannot be
      // read is said, not passed over for a file the project does not use.
      auto read = read_instructions(dir, name, roots);
      if (!read) return failure(fmt::format("{}: {}", one_line_text(lossy_utf8((dir / name).native())), read.error()));
      return std::optional(std::move(*read));
    }
  return std::optional<ProjectInstructions>();
}

std::string instructions_section(const ProjectInstructions& instructions, const std::string& shown_path) {
  std::string section = fmt::format(
      "Project instructions from {} (the project's own conventions for coding agents; follow them unless they "
      "conflict with the Wendlebox protocol):\n{}",
      shown_path, instructions.text);
  if (instructions.size > kMaxInstructionBytes)
    section += fmt::format("\n[Cut here: the file holds {} bytes, only the first {} are shown. Read {} for the rest.]",
                           instructions.size, kMaxInstructionBytes, shown_path);
  return section + "\nEnd of project instructions.";
}

std::string instructions_for_chat(Chat& chat, const std::filesystem::path& folder,
                                  const std::vector<std::filesystem::path>& roots, const Printer& out) {
  auto found = find_project_instructions(folder, roots);
  if (!found) {
    out.line(Colour::warning, fmt::format(fmt::runtime(i18n::tr(kNotSent)), found.error()));
    return "";
  }
  if (!*found || (*found)->digest == chat.instructions) return "";
  const ProjectInstructions& instructions = **found;
  const std::filesystem::path relative = instructions.file.lexically_relative(folder);
  const bool inside = !relative.empty() && *relative.begin() != "..";
  const std::string shown = one_line_text(lossy_utf8(inside ? relative.native() : friendly_folder(instructions.file)));
  out.line(Colour::dim, fmt::format(fmt::runtime(i18n::tr(kSent)), shown));
  chat.instructions = instructions.digest;
  return instructions_section(instructions, shown);
}

}  // namespace wendlebox
