// Every change to a file goes through here: shown to the user as it is
// made, and, when the user reviews changes, shown first and asked about.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "actions/executor.h"
#include "workspace/safe_path.h"

namespace wendlebox {

// What a file held before an action changes it.
struct FileBefore {
  bool known = true;                // false: there is a file, but it cannot be shown (unreadable, too large)
  std::optional<std::string> text{};  // none: no file there yet
  // The file as it was read: the write goes ahead only while it is still
  // that file, so a change another program made since is never overwritten.
  std::optional<FileSeen> seen{};
};

// The file as it is now, read as the write will find it.
FileBefore file_before_write(const ExecutionContext& context, const std::string& requested);

// Writes `after` over the file through the confined write, then prints the
// action's line (`label` and `detail`) and the change. With review on, the
// change is shown first and the user asked; a refusal is the failure that
// tells ChatGPT the file was not changed (with the user's reason, typed
// after "n"), and "a" lets the rest of this prompt's changes through.
Status make_change(ExecutionContext& context, const std::string& requested, const FileBefore& before,
                   std::string_view after, std::string_view label, std::string_view detail);

}  // namespace wendlebox
