// A file for the next message to ChatGPT: made by the image actions, carried
// by the bridge to the extension.
#pragma once

#include <string>

namespace wendlebox {

struct Attachment {
  std::string name;
  std::string mime;
  std::string base64;
};

}  // namespace wendlebox
