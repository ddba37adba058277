#include "state/settings.h"

#include <fmt/format.h>
#include <iostream>

#include "common/files.h"
#include "common/json.h"
#include "i18n/i18n.h"
#include "state/state_file.h"

namespace {

constexpr i18n::Text kCommandsAllowed{"Commands allowed. Wendlebox will run them without asking.",
                                      "Comandos permitidos. O Wendlebox os executará sem perguntar.",
                                      "Comandos permitidos. Wendlebox los ejecutará sin preguntar."};
constexpr i18n::Text kCommandsBlocked{"Commands blocked. Wendlebox will ask before running each one.",
                                      "Comandos bloqueados. O Wendlebox perguntará antes de executar cada um.",
                                      "Comandos bloqueados. Wendlebox preguntará antes de ejecutar cada uno."};
constexpr i18n::Text kSoundsBlocked{"Completion sounds blocked.", "Sons de conclusão bloqueados.",
                                    "Sonidos de finalización bloqueados."};
constexpr i18n::Text kGitEnabled{"Automatic Git snapshots and commits enabled.",
                                 "Snapshots e commits automáticos do Git ativados.",
                                 "Snapshots y commits automáticos de Git activados."};
constexpr i18n::Text kGitDisabled{"Automatic Git snapshots and commits disabled.",
                                  "Snapshots e commits automáticos do Git desativados.",
                                  "Snapshots y commits automáticos de Git desactivados."};

std::filesystem::path settings_path() { return app_dir() / "settings.json"; }

Result<Settings> decode_settings(std::string_view text) {
  return decode_object(text, [](const JsonFields& fields) -> Result<Settings> {
    Settings settings;
    for (auto [key, flag] : {std::pair{"allow_commands", &settings.allow_commands},
                             std::pair{"sounds", &settings.sounds}, std::pair{"git", &settings.git}}) {
      auto read = fields.bool_or(key, true);
      if (!read) return std::unexpected(read.error());
      *flag = *read;
    }
    return settings;
  });
}

Status update(void (*change)(Settings&, bool), bool value, const i18n::Text& confirmation) {
  auto settings = load_settings();
  if (!settings) return std::unexpected(settings.error());
  change(*settings, value);
  if (auto saved = save_settings(*settings); !saved) return saved;
  std::cout << i18n::tr(confirmation) << '\n';
  return {};
}

}  // namespace

std::filesystem::path app_dir(const EnvLookup& env) {
  std::filesystem::path base;
  if (auto config = env("XDG_CONFIG_HOME")) {
    base = *config;
  } else if (auto home = env("HOME")) {
    base = std::filesystem::path(*home) / ".config";
  } else {
    base = std::filesystem::path(".") / ".config";
  }
  return base / "wendlebox";
}

Result<Settings> load_settings() {
  return load_state_file<Settings>(settings_path(), "Could not read Wendlebox settings: ", decode_settings);
}

Status save_settings(const Settings& settings) {
  OrderedJson record;
  record["allow_commands"] = settings.allow_commands;
  record["sounds"] = settings.sounds;
  record["git"] = settings.git;
  return write_file_whole(settings_path(), pretty_json(record));
}

Status set_allow_commands(bool allow) {
  return update([](Settings& s, bool v) { s.allow_commands = v; }, allow, allow ? kCommandsAllowed : kCommandsBlocked);
}

Status block_sounds() {
  return update([](Settings& s, bool v) { s.sounds = v; }, false, kSoundsBlocked);
}

Status set_git(bool enabled) {
  return update([](Settings& s, bool v) { s.git = v; }, enabled, enabled ? kGitEnabled : kGitDisabled);
}
