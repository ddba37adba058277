#include "process/local_time.h"

#include <fmt/format.h>

#include "common/env.h"
#include "common/text.h"
#include "process/process.h"

namespace wendlebox {

std::string local_timestamp() {
  auto date = run_process(ProcessSpec{.argv = {"date", "+%Y-%m-%d %H:%M:%S"}, .errors = OutputMode::Discard});
  if (date && date->status.success()) return std::string(trim(lossy_utf8(date->output)));
  return fmt::format("{} UTC", unix_seconds());
}

}  // namespace wendlebox
