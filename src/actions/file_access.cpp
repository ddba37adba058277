#include "actions/file_access.h"

namespace wendlebox {

void progress(const Printer& out, std::string_view label, std::string_view detail) {
  out << out.paint(Colour::action, label) << ' ' << detail << '\n';
}

}  // namespace wendlebox
