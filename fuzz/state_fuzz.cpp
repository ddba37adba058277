// The state file readers on any text: each either decodes or names the
// problem, never more.
#include <string_view>

#include "fuzz/targets.h"
#include "state/allowed.h"
#include "state/chatlog.h"
#include "state/chats.h"
#include "state/settings.h"

using namespace wendlebox;

int fuzz_state(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)decode_settings(text);
  (void)decode_allowed(text);
  if (auto chats = decode_chats(text)) {
    for (const Chat& chat : *chats)
      if (chat.url.empty() && chat_url(chat.id)) (void)chatlog_path(chat);
  }
  (void)readable_chats(text);
  (void)decode_chatlog_line(text);
  return 0;
}
