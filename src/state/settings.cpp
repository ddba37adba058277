#include "state/settings.h"

#include "common/files.h"
#include "common/json.h"
#include "common/text.h"
#include "state/state_file.h"

namespace {

std::filesystem::path settings_path() { return app_dir() / "settings.json"; }


}  // namespace

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

namespace {

// <$variable, else $HOME/<home_relative>, else ./<home_relative>>/wendlebox,
// as the XDG base directory rules name a user's folders: an empty or
// relative value is ignored, or the state would follow the current folder.
std::filesystem::path xdg_dir(const EnvLookup& env, const char* variable, const std::filesystem::path& home_relative) {
  std::filesystem::path base;
  if (auto set = env(variable); set && std::filesystem::path(*set).is_absolute()) {
    base = *set;
  } else if (auto home = env("HOME")) {
    base = std::filesystem::path(*home) / home_relative;
  } else {
    base = std::filesystem::path(".") / home_relative;
  }
  return base / "wendlebox";
}

}  // namespace

std::filesystem::path app_dir(const EnvLookup& env) { return xdg_dir(env, "XDG_CONFIG_HOME", ".config"); }

std::filesystem::path data_dir(const EnvLookup& env) { return xdg_dir(env, "XDG_DATA_HOME", ".local/share"); }

std::optional<std::string> last_seen_extension_version() {
  auto text = read_file(app_dir() / "extension-seen");
  if (!text || text->empty() || !is_valid_utf8(*text)) return std::nullopt;
  return std::string(trim(*text));
}

Status remember_extension_version(const std::string& version) {
  return write_file_whole(app_dir() / "extension-seen", version);
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

Status update_settings(const std::function<void(Settings&)>& change) {
  auto lock = lock_file(settings_path());
  if (!lock) return std::unexpected(lock.error());
  auto settings = load_settings();
  if (!settings) return std::unexpected(settings.error());
  change(*settings);
  return save_settings(*settings);
}
