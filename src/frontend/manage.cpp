#include "frontend/manage.h"
#include "common/printer.h"

#include <unistd.h>

#include <algorithm>
#include <functional>
#include <iostream>

#include <fmt/format.h>

#include "actions/confirm.h"
#include "common/env.h"
#include "common/files.h"
#include "common/folders.h"
#include "common/text.h"
#include "frontend/installed_browsers.h"
#include "i18n/i18n.h"
#include "state/allowed.h"
#include "state/chatlog.h"
#include "state/chats.h"
#include "state/settings.h"
#include "frontend/messages.h"

namespace wendlebox {

namespace {

using namespace messages::frontend;

// Each settings command saves its choice and says so in one line.
Status change_setting(const Printer& out, const std::function<void(Settings&)>& change, const i18n::Text& confirmation) {
  if (auto saved = update_settings(change); !saved) return saved;
  out << i18n::tr(confirmation) << '\n';
  return {};
}

}  // namespace

Status set_allow_commands(const Printer& out, bool allow) {
  return change_setting(out, [allow](Settings& s) { s.allow_commands = allow; }, allow ? kCommandsAllowed : kCommandsBlocked);
}

Status set_sounds(const Printer& out, bool enabled) {
  return change_setting(out, [enabled](Settings& s) { s.sounds = enabled; }, enabled ? kSoundsAllowed : kSoundsBlocked);
}

Status set_browser(const Printer& out, const std::string& command) {
  const bool clear = trim(command).empty() || trim(command) == "default";
  if (!clear)
    if (const std::optional<std::string> missing = missing_browser_program(std::string(trim(command))))
      return failure(fmt::format(fmt::runtime(i18n::tr(kBrowserNotFound)), one_line_text(*missing)));
  if (auto saved = update_settings([&](Settings& s) {
        s.browser = clear ? std::nullopt : std::optional<std::string>(std::string(trim(command)));
      });
      !saved)
    return saved;
  if (clear)
    out << i18n::tr(kBrowserCleared) << '\n';
  else
    out << fmt::format(fmt::runtime(i18n::tr(kBrowserSaved)), one_line_text(trim(command))) << '\n';
  return {};
}

Status set_git(const Printer& out, bool enabled) {
  return change_setting(out, [enabled](Settings& s) { s.git = enabled; }, enabled ? kGitEnabled : kGitDisabled);
}

Status set_review_edits(const Printer& out, bool review) {
  return change_setting(out, [review](Settings& s) { s.review_edits = review; }, review ? kReviewOn : kReviewOff);
}
Status set_project_instructions(const Printer& out, bool enabled) {
  return change_setting(out, [enabled](Settings& s) { s.project_instructions = enabled; },
                        enabled ? kInstructionsOn : kInstructionsOff);
}

Result<std::filesystem::path> requested_folder(const std::string& text) {
  const std::filesystem::path path(text);
  if (path.is_absolute()) return path;
  auto cwd = current_dir();
  if (!cwd) return std::unexpected(cwd.error());
  return *cwd / path;
}

namespace {

// The root, the home folder and what holds it give ChatGPT far more than a
// project: said, and asked at a terminal; refused elsewhere unless `yes`.
Status confirm_wide_folder(const Printer& out, const std::filesystem::path& folder, bool yes) {
  const std::optional<std::string> home = process_env("HOME");
  const std::filesystem::path home_folder = home ? canonical_path(*home).value_or(*home) : std::filesystem::path();
  const bool root = folder == folder.root_path();
  const bool holds_home = !home_folder.empty() && (home_folder == folder || home_folder.string().starts_with(
                                                       folder.string() + "/"));
  if (yes || !(root || holds_home)) return {};
  const std::string shown = friendly_folder(folder);
  const std::string what = fmt::format(fmt::runtime(i18n::tr(root ? kRiskyRoot : kRiskyHome)), shown);
  if (!::isatty(STDIN_FILENO) || !::isatty(STDOUT_FILENO))
    return failure(fmt::format("{} {}", what, fmt::format(fmt::runtime(i18n::tr(kAskedNowhere)), shown)));
  if (auto allowed = confirm_once(out, fmt::format("{} {}", what, i18n::tr(kAllowIt))); !allowed)
    return failure(fmt::format(fmt::runtime(i18n::tr(kNotAdded)), shown));
  return {};
}

}  // namespace

Status allow_add(const Printer& out, const std::string& text, bool yes) {
  auto requested = requested_folder(text);
  if (!requested) return std::unexpected(requested.error());
  auto canonical = canonical_path(*requested);
  if (!canonical)
    return failure(fmt::format("Folder is unavailable: {}: {}", lossy_utf8(requested->native()), canonical.error()));
  if (!is_dir(*canonical)) return failure("Not a folder: " + lossy_utf8(canonical->native()));
  if (auto confirmed = confirm_wide_folder(out, *canonical, yes); !confirmed) return confirmed;
  const std::string key = folder_key(*canonical);
  bool known = false;
  auto updated = update_allowed([&](AllowList& list) {
    known = std::ranges::any_of(list.folders, [&](const std::string& f) { return folder_key(f) == key; });
    if (!known) list.folders.push_back(lossy_utf8(canonical->native()));
    return !known;
  });
  if (!updated) return updated;
  out << fmt::format("{} {}\n", i18n::tr(known ? kAlreadyAllowed : kAllowedAccess), friendly_folder(*canonical));
  return {};
}

Status allow_remove(const Printer& out, const std::string& text) {
  auto requested = requested_folder(text);
  if (!requested) return std::unexpected(requested.error());
  // A folder deleted since it was added can still be removed by its path.
  const std::filesystem::path folder = canonical_path(*requested).value_or(*requested);
  const std::string key = folder_key(folder);
  std::size_t removed = 0;
  auto updated = update_allowed([&](AllowList& list) {
    removed = std::erase_if(list.folders, [&](const std::string& f) { return folder_key(f) == key; });
    return removed > 0;
  });
  if (!updated) return updated;
  if (removed == 0) return failure("Folder is not on the allow list: " + text);
  out << fmt::format("{} {}\n", i18n::tr(kRemovedFromList), text);
  return {};
}

Status list_allowed(const Printer& out) {
  auto list = load_allowed();
  if (!list) return std::unexpected(list.error());
  if (list->folders.empty()) out << i18n::tr(kNoneAllowed) << '\n';
  for (const std::string& folder : list->folders) out << friendly_folder(folder) << '\n';
  return {};
}

Status list_chats(const Printer& out, bool all) {
  std::string project_key;
  std::filesystem::path project;
  if (!all) {
    auto folder = current_folder();
    if (!folder) return std::unexpected(folder.error());
    project = *folder;
    project_key = folder_key(project);
  }
  const std::vector<Chat> chats = load_chats(out);
  std::size_t printed = 0;
  for (std::size_t i = 0; i < chats.size(); ++i) {
    const Chat& chat = chats[i];
    if (!all && folder_key(chat.folder) != project_key) continue;
    out << fmt::format("{}  {}\n   {}\n   {}\n", out.paint(Colour::heading, std::to_string(i + 1)), chat.title,
                       friendly_folder(chat.folder), chat.url);
    ++printed;
  }
  if (printed > 0) {
    out << fmt::format("\n{}\n", i18n::tr(kContinueWith));
    if (!all && printed < chats.size()) out << i18n::tr(kShowingProject) << '\n';
  } else if (all) {
    out << i18n::tr(kNoChats) << '\n';
  } else {
    out << i18n::tr(kNoProjectChats) << '\n' << friendly_folder(project) << '\n';
    if (!chats.empty()) out << i18n::tr(kRunChatsAll) << '\n';
  }
  return {};
}

Result<Chat> resolve_chat(const Printer& out, const std::string& reference) {
  const std::vector<Chat> chats = load_chats(out);
  unsigned long long number = 0;
  if (parse_unsigned(reference, number) && number >= 1 && number <= chats.size()) return chats[number - 1];
  const std::optional<std::string> canonical = chat_url(reference);
  for (const Chat& chat : chats)
    if (chat.id == reference || chat.url == reference || (canonical && chat.url == *canonical)) return chat;
  if (canonical) {
    auto cwd = current_dir();
    if (!cwd) return std::unexpected(cwd.error());
    const std::string& url = *canonical;
    return Chat{.id = url.substr(url.rfind('/') + 1),
                .title = "Chat " + url.substr(url.size() - 8),
                .url = url,
                .folder = lossy_utf8(cwd->native()),
                .updated = unix_seconds()};
  }
  return failure(std::string(i18n::tr(kChatNotFound)));
}

Status show_chatlog(const Printer& out, const std::string& reference) {
  auto chat = resolve_chat(out, reference);
  if (!chat) return std::unexpected(chat.error());
  auto text = read_chatlog(*chat);
  if (!text) return std::unexpected(text.error());
  if (!*text) {
    out << i18n::tr(kNoLog) << '\n';
    return {};
  }
  // Entries before a damaged line are still shown.
  for (std::string_view line : split_lines(**text)) {
    auto entry = decode_chatlog_line(line, chatlog_path(*chat).value_or(""));
    if (!entry) return std::unexpected(entry.error());
    const std::string_view label =
        i18n::tr(entry->role == "user" ? kYouEntry : entry->role == "interrupted" ? kInterruptedEntry : kDone);
    out << fmt::format("[{}] {}\n{}\n\n", entry->at, label, entry->text);
  }
  return {};
}

}  // namespace wendlebox
