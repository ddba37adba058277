#include "state/settings.h"

#include <sys/stat.h>

#include <ctime>

#include <fmt/format.h>

#include "common/files.h"
#include "common/json.h"
#include "common/text.h"
#include "state/app_dirs.h"
#include "state/state_file.h"

namespace wendlebox {

namespace {
constexpr std::uint64_t kMaxTimeoutSeconds = 3600;
}  // namespace

std::filesystem::path settings_path() { return app_dir() / "settings.json"; }

Result<Settings> decode_settings(std::string_view text) {
  return decode_object(text, [](const JsonFields& fields) -> Result<Settings> {
    Settings settings;
    for (auto [key, flag] : {std::pair{"allow_commands", &settings.allow_commands},
                             std::pair{"sounds", &settings.sounds}, std::pair{"git", &settings.git},
                             std::pair{"project_instructions", &settings.project_instructions}}) {
      auto read = fields.bool_or(key, true);
      if (!read) return std::unexpected(read.error());
      *flag = *read;
    }
    auto review = fields.bool_or("review_edits", false);
    if (!review) return std::unexpected(review.error());
    settings.review_edits = *review;
    auto browser = fields.optional_string("browser");
    if (!browser) return std::unexpected(browser.error());
    if (*browser && !trim(**browser).empty()) settings.browser = std::string(trim(**browser));
    auto timeout = fields.optional_unsigned("command_timeout_seconds");
    if (!timeout) return std::unexpected(timeout.error());
    if (*timeout && (**timeout == 0 || **timeout > kMaxTimeoutSeconds))
      return fields.error(fmt::format("`command_timeout_seconds` must be from 1 to {}", kMaxTimeoutSeconds));
    if (*timeout) settings.command_timeout_seconds = static_cast<unsigned>(**timeout);
    return settings;
  });
}

namespace {

std::optional<std::string> read_note(const char* name) {
  auto text = read_file(app_dir() / name);
  if (!text || text->empty() || !is_valid_utf8(*text)) return std::nullopt;
  return std::string(trim(*text));
}

}  // namespace

std::optional<std::string> last_seen_extension_version() { return read_note("extension-seen"); }

Status remember_extension_version(const std::string& version) {
  return write_file_whole(app_dir() / "extension-seen", version);
}

std::optional<std::string> extension_seen_time() {
  struct stat info {};
  if (::stat((app_dir() / "extension-seen").c_str(), &info) != 0) return std::nullopt;
  std::tm local{};
  if (!::localtime_r(&info.st_mtime, &local)) return std::nullopt;
  char text[32];
  return std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local) ? std::optional<std::string>(text) : std::nullopt;
}

std::optional<std::string> last_seen_extension_browser() { return read_note("extension-seen-in"); }

Status remember_extension_browser(const std::string& browser) {
  return write_file_whole(app_dir() / "extension-seen-in", browser);
}

Result<Settings> load_settings() {
  return load_state_file<Settings>(settings_path(), "Could not read Wendlebox settings from", decode_settings);
}

Status save_settings(const Settings& settings) {
  OrderedJson record;
  record["allow_commands"] = settings.allow_commands;
  record["sounds"] = settings.sounds;
  record["git"] = settings.git;
  // Written only when off, so a file without the choice stays as it was.
  if (!settings.project_instructions) record["project_instructions"] = false;
  if (settings.browser) record["browser"] = *settings.browser;
  if (settings.review_edits) record["review_edits"] = true;
  // Written only when the user chose another: the file stays as it was.
  if (settings.command_timeout_seconds != Settings{}.command_timeout_seconds)
    record["command_timeout_seconds"] = settings.command_timeout_seconds;
  return write_file_whole(settings_path(), pretty_json(record));
}

Status update_settings(const std::function<void(Settings&)>& change) {
  return update_state_file(settings_path(), load_settings, save_settings, [&](Settings& settings) {
    change(settings);
    return true;
  });
}

}  // namespace wendlebox
