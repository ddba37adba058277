#include "actions/file_access.h"

void progress(const Printer& out, std::string_view label, std::string_view detail) {
  out << out.paint(Colour::action, label) << ' ' << detail << '\n';
}
