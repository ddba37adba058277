#include "process/process_spec.h"

#include <sys/wait.h>

#include <algorithm>

extern char** environ;

namespace wendlebox {

ExitStatus decode_status(int raw) {
  if (WIFEXITED(raw)) return ExitStatus{WEXITSTATUS(raw), std::nullopt};
  return ExitStatus{std::nullopt, WIFSIGNALED(raw) ? std::optional<int>(WTERMSIG(raw)) : std::nullopt};
}

namespace {

// This process's environment with `extra` set on top, as "NAME=value" texts.
std::vector<std::string> environment_with(const std::vector<std::pair<std::string, std::string>>& extra) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const std::string_view name = text.substr(0, text.find('='));
    if (std::ranges::none_of(extra, [&](const auto& variable) { return variable.first == name; }))
      entries.emplace_back(text);
  }
  for (const auto& [name, value] : extra) entries.push_back(name + "=" + value);
  return entries;
}

}  // namespace

ChildVectors child_vectors(const ProcessSpec& command) {
  ChildVectors child;
  for (const std::string& arg : command.argv) child.argv.push_back(const_cast<char*>(arg.c_str()));
  child.argv.push_back(nullptr);
  if (!command.environment.empty()) {
    child.environment = environment_with(command.environment);
    for (std::string& entry : child.environment) child.envp.push_back(entry.data());
    child.envp.push_back(nullptr);
  }
  return child;
}

}  // namespace wendlebox
