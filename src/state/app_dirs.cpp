#include "state/app_dirs.h"

namespace wendlebox {

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


}  // namespace wendlebox
