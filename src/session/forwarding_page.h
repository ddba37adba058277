// The page a session starts the browser on instead of ChatGPT's address:
// it forwards the browser to the address, so that the session's key never
// shows in the browser's command line, which every user of the machine can
// read (/proc/<pid>/cmdline).
#pragma once

#include <filesystem>
#include <string>

#include "bridge/launcher.h"
#include "common/env.h"
#include "common/result.h"

namespace wendlebox {

// Writes a page that forwards to `address` where `reader` can read it and
// no other user can: the user's runtime folder (a snap's own folder in it
// for a snap), else a private folder in the data folder. Every folder used
// is one of this user's own, open to nobody else, and the page is created
// private (0600), so it is never readable by another user, not even while
// it is written. Fails with the reason, in the user's language, when there
// is no such place.
Result<std::filesystem::path> write_forwarding_page(const PageReader& reader, const std::string& address,
                                                    const EnvLookup& env = process_env);

}  // namespace wendlebox
