#include "git/git_settings.h"

#include <pwd.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <set>

#include <fmt/format.h>

#include "common/folders.h"
#include "common/text.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

// Git itself stops at ten levels of includes; this bounds the files read
// here beyond what git reads now.
constexpr std::size_t kMaxExtraFiles = 16;
// Repositories remembered besides the accepted one (the session's).
constexpr std::size_t kMaxRepositories = 16;

// The home folder of the user called `name`, as git finds it for "~name/".
std::optional<fs::path> home_of(const std::string& name) {
  struct passwd entry;
  struct passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
      found->pw_dir == nullptr)
    return std::nullopt;
  return fs::path(found->pw_dir);
}

// A path as git expands it: "~/" from HOME, "~name/" from that user's home
// folder, relative ones from `relative_to`. nullopt for what cannot be told
// here ("%(prefix)/").
std::optional<fs::path> expanded(std::string_view value, const fs::path& relative_to, const EnvLookup& env) {
  if (value.empty()) return std::nullopt;
  if (value == "~" || value.starts_with("~/")) {
    const std::optional<std::string> home = env("HOME");
    if (!home || home->empty()) return std::nullopt;
    return fs::path(*home) / fs::path(std::string(value.substr(value.size() > 1 ? 2 : 1)));
  }
  if (value.starts_with('~')) {
    const std::size_t slash = value.find('/');
    auto home = home_of(std::string(value.substr(1, slash == std::string_view::npos ? slash : slash - 1)));
    if (!home) return std::nullopt;
    return slash == std::string_view::npos ? *home : *home / fs::path(std::string(value.substr(slash + 1)));
  }
  if (value.starts_with("%(prefix)")) return std::nullopt;
  const fs::path path{std::string(value)};
  return path.is_absolute() ? path : relative_to / path;
}

bool is_include_key(std::string_view key) {
  return key == "include.path" || (key.starts_with("includeif.") && key.ends_with(".path"));
}

// Keys are lower case in git's listing, all but the subsection. The pager
// is a command git starts by itself too, whenever it shows its output on
// the user's terminal.
bool is_driver_key(std::string_view key) {
  if (key == "core.pager" || key.starts_with("pager.")) return true;
  if (key.starts_with("filter."))
    return key.ends_with(".clean") || key.ends_with(".smudge") || key.ends_with(".process");
  return key.starts_with("merge.") && key.ends_with(".driver");
}

struct Entry {
  std::string_view scope, origin, key, value;
};

// `scope NUL origin NUL key [LF value] NUL`, one after another.
std::vector<Entry> entries_of(std::string_view listing) {
  std::vector<Entry> entries;
  std::vector<std::string_view> fields;
  while (!listing.empty()) {
    const std::size_t end = listing.find('\0');
    fields.push_back(listing.substr(0, end));
    listing.remove_prefix(end == std::string_view::npos ? listing.size() : end + 1);
    if (fields.size() < 3) continue;
    const std::string_view pair = fields[2];
    const std::size_t split = pair.find('\n');
    entries.push_back({fields[0], fields[1], pair.substr(0, split),
                       split == std::string_view::npos ? std::string_view{} : pair.substr(split + 1)});
    fields.clear();
  }
  return entries;
}

class Collector {
 public:
  Collector(GitSettings& settings, const fs::path& base, const EnvLookup& env)
      : settings_(settings), base_(base), env_(env) {}

  void add(const fs::path& path, bool folder) {
    if (!seen_.insert(path.lexically_normal().string()).second) return;
    settings_.places.push_back({path, folder});
  }

  void read(std::string_view listing) {
    for (const Entry& entry : entries_of(listing)) {
      // Only files can be written; "command line:" is the program's own.
      if (!entry.origin.starts_with("file:")) continue;
      const fs::path file = base_ / fs::path(std::string(entry.origin.substr(5)));
      add(file, false);
      read_.insert(file.lexically_normal().string());
      if (entry.scope == "local" && settings_.repository.empty() && file.filename() == "config") {
        settings_.repository = file.lexically_normal().string();
        add(file.parent_path(), true);  // the repository's own folder, whatever it is called
      }
      take(entry, file);
    }
  }

  // Include targets git does not read now (not there yet, or their
  // condition does not hold): protected all the same, and, when they
  // exist, read for their own includes.
  void follow(const GitRunner& run) {
    std::size_t extra = 0;
    while (!pending_.empty()) {
      const fs::path target = pending_.front();
      pending_.erase(pending_.begin());
      add(target, false);
      if (read_.contains(target.lexically_normal().string())) continue;
      read_.insert(target.lexically_normal().string());
      std::error_code error;
      if (!fs::is_regular_file(target, error) || ++extra > kMaxExtraFiles) continue;
      auto listed = run(base_, {"config", "--no-includes", "--file", target.string(), "--list", "--show-origin",
                                "--show-scope", "-z"});
      if (!listed) continue;
      for (const Entry& entry : entries_of(*listed)) take(entry, target);
    }
  }

 private:
  void take(const Entry& entry, const fs::path& file) {
    if (is_include_key(entry.key)) {
      if (auto target = expanded(entry.value, file.parent_path(), env_)) pending_.push_back(*target);
    } else if (entry.key == "core.attributesfile" || entry.key == "core.excludesfile") {
      if (auto path = expanded(entry.value, base_, env_)) add(*path, false);
    } else if (entry.key == "core.hookspath") {
      if (auto path = expanded(entry.value, base_, env_)) add(*path, true);
    } else if (is_driver_key(entry.key) && !entry.value.empty()) {
      settings_.drivers.push_back({std::string(entry.key), file});
    }
  }

  GitSettings& settings_;
  const fs::path base_;
  const EnvLookup& env_;
  std::set<std::string> seen_, read_;
  std::vector<fs::path> pending_;
};

fs::path canonical_or_lexical(const fs::path& path) {
  std::error_code error;
  fs::path canonical = fs::weakly_canonical(path, error);
  return error ? path.lexically_normal() : canonical;
}

}  // namespace

std::vector<GitSettingsPlace> fixed_git_settings(const EnvLookup& env) {
  std::vector<GitSettingsPlace> places;
  const std::optional<std::string> system = env("GIT_CONFIG_SYSTEM");
  places.push_back({system && fs::path(*system).is_absolute() ? fs::path(*system) : fs::path("/etc/gitconfig")});
  const std::optional<std::string> home = env("HOME");
  const bool has_home = home && fs::path(*home).is_absolute();
  if (has_home) places.push_back({fs::path(*home) / ".gitconfig"});
  if (auto global = env("GIT_CONFIG_GLOBAL"); global && fs::path(*global).is_absolute())
    places.push_back({fs::path(*global)});
  // Git's XDG folder holds its config, attributes and ignore files.
  if (auto xdg = env("XDG_CONFIG_HOME"); xdg && fs::path(*xdg).is_absolute())
    places.push_back({fs::path(*xdg) / "git", true});
  else if (has_home)
    places.push_back({fs::path(*home) / ".config/git", true});
  return places;
}

GitSettings parse_git_settings(std::string_view listing, const fs::path& base, const GitRunner& run,
                               const EnvLookup& env) {
  GitSettings settings;
  Collector collector(settings, base, env);
  for (const GitSettingsPlace& place : fixed_git_settings(env)) collector.add(place.path, place.folder);
  collector.read(listing);
  collector.follow(run);
  if (!settings.repository.empty()) settings.repository = canonical_or_lexical(settings.repository).string();
  return settings;
}

GitSettingsRecord& GitSettingsRecord::process() {
  static GitSettingsRecord record;
  return record;
}

// What a settings file is now: any write changes its change time, which
// no one can set back.
GitSettingsRecord::Mark GitSettingsRecord::mark_of(const fs::path& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return {};
  return {true,
          info.st_dev,
          info.st_ino,
          info.st_size,
          info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec,
          info.st_ctim.tv_sec * 1'000'000'000LL + info.st_ctim.tv_nsec};
}

// Whether the driver is set in a file inside an allowed folder that is not
// as it was accepted; such a file is refused from now on.
bool GitSettingsRecord::driver_changed(const GitDriver& driver) {
  const std::string file = driver.file.lexically_normal().string();
  const fs::path where = canonical_or_lexical(driver.file);
  if (!std::ranges::any_of(allowed_, [&](const fs::path& folder) { return is_inside(where, folder); })) return false;
  auto accepted = marks_.find(file);
  if (refused_.contains(file) || accepted == marks_.end() || !(accepted->second == mark_of(driver.file))) {
    refused_.insert(file);
    return true;
  }
  return false;
}

void GitSettingsRecord::learn(const GitSettings& settings) {
  const std::lock_guard lock(mutex_);
  repositories_[settings.repository] = {settings, ++clock_};
  while (repositories_.size() > kMaxRepositories + 1) {
    auto oldest = repositories_.end();
    for (auto it = repositories_.begin(); it != repositories_.end(); ++it)
      if (it->first != accepted_ && (oldest == repositories_.end() || it->second.used < oldest->second.used))
        oldest = it;
    repositories_.erase(oldest);
  }
}

void GitSettingsRecord::accept(const GitSettings& settings, const std::vector<fs::path>& allowed) {
  const std::lock_guard lock(mutex_);
  // What changed since the last acceptance stays refused.
  if (accepted_)
    for (const GitDriver& driver : settings.drivers) driver_changed(driver);
  allowed_.clear();
  for (const fs::path& folder : allowed) allowed_.push_back(canonical_or_lexical(folder));
  accepted_ = settings.repository;
  for (const GitSettingsPlace& place : settings.places) {
    const std::string file = place.path.lexically_normal().string();
    if (!place.folder && !refused_.contains(file)) marks_[file] = mark_of(place.path);
  }
}

Status GitSettingsRecord::drivers_unchanged(const GitSettings& settings) {
  const std::lock_guard lock(mutex_);
  if (!accepted_) return {};
  for (const GitDriver& driver : settings.drivers)
    if (driver_changed(driver))
      // The key's subsection and the file's name are anyone's bytes: they
      // reach the terminal with their control characters made visible.
      return failure(fmt::format("{} is set in {}, which changed while this session ran: git would run the command "
                                 "it names, so git was not run. Check that file; a new session takes it as it is then",
                                 one_line_text(driver.key), one_line_text(driver.file.lexically_normal().string())));
  return {};
}

std::vector<GitSettingsPlace> GitSettingsRecord::places() const {
  const std::lock_guard lock(mutex_);
  std::vector<GitSettingsPlace> places;
  for (const auto& [key, known] : repositories_)
    for (const GitSettingsPlace& place : known.settings.places)
      if (std::ranges::find(places, place) == places.end()) places.push_back(place);
  return places;
}

void GitSettingsRecord::clear() {
  const std::lock_guard lock(mutex_);
  repositories_.clear();
  clock_ = 0;
  accepted_.reset();
  allowed_.clear();
  marks_.clear();
  refused_.clear();
}

}  // namespace wendlebox
