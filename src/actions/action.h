// What ChatGPT asks for: a reply's status and message, and its actions.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct Action {
  std::string type;
  std::optional<std::string> path{};
  std::optional<std::string> content{};
  std::optional<std::string> command{};
};

struct Reply {
  std::string status;  // "continue" or "done"
  std::string message;
  std::vector<Action> actions;
};
