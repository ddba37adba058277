#include "state/state_file.h"

#include <fmt/format.h>

#include "common/text.h"
#include "i18n/i18n.h"

namespace {

constexpr i18n::Text kFixTheFile{"Fix the file, or move it away to start again from the defaults.",
                                 "Corrija o arquivo, ou mova-o para recomeçar dos valores padrão.",
                                 "Corrige el archivo, o muévelo para empezar de nuevo con los valores predeterminados."};

}  // namespace

std::string state_file_problem(std::string_view what, const std::filesystem::path& path, const Error& error) {
  return fmt::format("{} {}: {}. {}", what, lossy_utf8(path.native()), error, i18n::tr(kFixTheFile));
}
