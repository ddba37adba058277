// Fuzz target for everything that decodes text from outside the program:
// ChatGPT's replies, the extension's results and probe reports, and the
// JSON reader below every stored record.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "bridge/server.h"
#include "common/json.h"
#include "fuzz/targets.h"
#include "session/probe.h"
#include "session/protocol.h"

using namespace wendlebox;

int fuzz_reply(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)parse_reply(text);
  (void)decode_job_result(text);
  (void)read_probe_report(text);
  if (auto value = parse_json(text)) {
    if (auto fields = JsonFields::of(*value, text)) {
      (void)fields->required_string("id");
      (void)fields->optional_string("text");
      (void)fields->bool_or("git", true);
      (void)fields->required_unsigned("updated");
    }
    (void)pretty_json(*value);
  }
  return 0;
}
