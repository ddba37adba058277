// What ChatGPT asks for: a reply's status and message, and its actions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wendlebox {

// One change of an `edit_file` action: `old`, found in the file, becomes `new`.
struct Edit {
  std::string old_text;
  std::string new_text;
};

struct Action {
  std::string type{};
  std::optional<std::string> path{};
  std::optional<std::string> content{};
  std::optional<std::string> command{};
  std::optional<std::vector<Edit>> edits{};  // edit_file
  std::optional<std::uint64_t> start_line{};  // read_file, 1-based
  std::optional<std::uint64_t> end_line{};    // read_file, inclusive
  std::optional<std::uint64_t> timeout{};     // run, in seconds
  std::optional<std::string> pattern{};       // search
  std::optional<std::string> glob{};          // search
  bool regex = false;                         // search
  bool ignore_case = false;                   // search
};

struct Reply {
  std::string status;  // "continue" or "done"
  std::string message;
  std::vector<Action> actions;
};

}  // namespace wendlebox
