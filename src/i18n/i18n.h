// The user's language.
#pragma once

#include <string>
#include <string_view>

#include "common/env.h"

namespace wendlebox {

namespace i18n {

enum class Language { English = 0, Portuguese = 1, Spanish = 2 };

// A message in English, Brazilian Portuguese and Spanish, in that order.
struct Text {
  std::string_view en, pt, es;
};

// The language the environment asks for; never fails.
Language detect(const EnvLookup& env = process_env);

std::string_view display_name(Language language);

namespace lang {
// The process-wide language, detected on first use and fixed afterwards.
struct LanguageCell {
  Language get() const;
  int index() const { return static_cast<int>(get()); }
};
inline constexpr LanguageCell LANG{};
}  // namespace lang

// The text of `message` in the process language.
std::string_view tr(const Text& message);

}  // namespace i18n


}  // namespace wendlebox
