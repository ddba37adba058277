#include "state/state_file.h"

#include <fmt/format.h>

#include "common/text.h"
#include "i18n/i18n.h"
#include "state/messages.h"

namespace wendlebox {

using namespace messages::state;

std::string state_file_problem(std::string_view what, const std::filesystem::path& path, const Error& error) {
  return fmt::format("{} {}: {}. {}", what, lossy_utf8(path.native()), error, i18n::tr(kFixTheFile));
}

}  // namespace wendlebox
