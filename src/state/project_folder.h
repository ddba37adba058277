// The working folder as the session's own record keeper: it must be able
// to write there before ChatGPT is asked anything.
#pragma once

#include <filesystem>
#include <optional>

#include "common/result.h"
#include "state/chats.h"

namespace wendlebox {

// Fails, naming what cannot be written and why, when the session could not
// write the folder itself (where actions write), its .wendlebox folder or
// the chat's log, where these exist already.
Status check_project_writable(const std::filesystem::path& folder, const std::optional<Chat>& chat);

}  // namespace wendlebox
