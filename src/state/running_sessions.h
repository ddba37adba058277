// The sessions running now for this user, as the claims of their folders
// say (session/folder_claim.h takes them): for doctor's list, and for a
// user who wonders which session listens on which port.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace wendlebox {

// Where the claims are kept: a private folder of the user's configuration.
// A claim file holds the session's process id, its working folder and,
// once it listens, its port, a line each.
std::filesystem::path claims_folder();

struct RunningSession {
  long pid = 0;
  std::string folder;
  std::optional<int> port;  // none before the session listens
};

// The claims whose session still holds them (the system's lock on the
// file, not the process id, which another process may have taken since),
// ordered by folder. A claim file that is not the user's own plain file,
// or names no process or folder, is passed over.
std::vector<RunningSession> running_sessions(const std::filesystem::path& claims = claims_folder(),
                                             const std::filesystem::path& locks = "/proc/locks");

}  // namespace wendlebox
