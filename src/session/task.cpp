#include "session/task.h"

Status task(std::optional<std::string>, std::optional<Chat>, bool, bool, bool, bool) {
  return failure("Not available yet: task session");
}
