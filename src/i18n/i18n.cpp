#include "i18n/i18n.h"

#include <unistd.h>

#include <array>
#include <optional>

#include "common/text.h"

namespace wendlebox {

namespace i18n {

namespace {

std::optional<Language> language_of(std::string_view segment) {
  const std::size_t cut = segment.find_first_of("-.:@_");
  const std::string part = ascii_lower(segment.substr(0, cut));
  if (part == "en" || part == "eng" || part == "english") return Language::English;
  if (part == "pt" || part == "por" || part == "portuguese") return Language::Portuguese;
  if (part == "es" || part == "spa" || part == "spanish") return Language::Spanish;
  return std::nullopt;
}

}  // namespace

Language detect(const EnvLookup& env) {
  static constexpr std::array<std::string_view, 5> variables{"WENDLEBOX_LANG", "LC_ALL", "LC_MESSAGES",
                                                             "LANGUAGE", "LANG"};
  for (std::string_view variable : variables) {
    const std::optional<std::string> raw = env(variable);
    if (!raw || !is_valid_utf8(*raw)) continue;
    std::string_view value = trim(*raw);
    while (!value.empty()) {
      const std::size_t colon = value.find(':');
      const std::string_view segment = trim(value.substr(0, colon));
      value = colon == std::string_view::npos ? std::string_view() : value.substr(colon + 1);
      if (auto language = language_of(segment)) return *language;
      if (segment == "C" || segment == "POSIX") continue;
      // The program's own variable is an explicit choice: anything else set
      // there means English rather than falling through to the locale.
      if (variable == "WENDLEBOX_LANG" && !segment.empty()) return Language::English;
    }
  }
  return Language::English;
}

std::string_view display_name(Language language) {
  static constexpr std::array<std::string_view, 3> names{"English", "Brazilian Portuguese", "Spanish"};
  return names[static_cast<int>(language)];
}

Language lang::LanguageCell::get() const {
  static const Language detected = detect();
  return detected;
}

std::string_view tr(const Text& message) {
  switch (lang::LANG.get()) {
    case Language::Portuguese: return message.pt;
    case Language::Spanish: return message.es;
    default: return message.en;
  }
}

}  // namespace i18n

}  // namespace wendlebox
