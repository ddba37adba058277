#include "main/run.h"
#include "common/printer.h"

#include <algorithm>
#include <array>
#include <fmt/format.h>
#include <iostream>
#include <optional>

#include "bridge/launcher.h"
#include "common/end_signals.h"
#include "bridge/server.h"
#include "common/files.h"
#include "common/text.h"
#include "frontend/help.h"
#include "frontend/manage.h"
#include "frontend/prompt.h"
#include "frontend/doctor.h"
#include "frontend/installation.h"
#include "frontend/setup.h"
#include "frontend/uninstall.h"
#include "i18n/i18n.h"
#include "session/probe.h"
#include "session/task.h"
#include "state/allowed.h"
#include "state/chats.h"
#include "state/settings.h"
#include "main/messages.h"

namespace wendlebox {

namespace {

using namespace messages::main;

struct ManagementOption {
  std::string_view name;
  const char* required_value;  // what "requires" names, or nullptr
  Status (*operation)(const Printer& out, const std::string& value, bool yes);
};

const std::array<ManagementOption, 18> kManagementOptions{{
    {"--block-commands", nullptr, [](const Printer& out, const std::string&, bool) { return set_allow_commands(out, false); }},
    {"--allow-commands", nullptr, [](const Printer& out, const std::string&, bool) { return set_allow_commands(out, true); }},
    {"--review-edits", nullptr, [](const Printer& out, const std::string&, bool) { return set_review_edits(out, true); }},
    {"--apply-edits", nullptr, [](const Printer& out, const std::string&, bool) { return set_review_edits(out, false); }},
    {"--block-sounds", nullptr, [](const Printer& out, const std::string&, bool) { return set_sounds(out, false); }},
    {"--allow-sounds", nullptr, [](const Printer& out, const std::string&, bool) { return set_sounds(out, true); }},
    {"--block-git", nullptr, [](const Printer& out, const std::string&, bool) { return set_git(out, false); }},
    {"--allow-git", nullptr, [](const Printer& out, const std::string&, bool) { return set_git(out, true); }},
    {"--no-project-instructions", nullptr, [](const Printer& out, const std::string&, bool) { return set_project_instructions(out, false); }},
    {"--project-instructions", nullptr, [](const Printer& out, const std::string&, bool) { return set_project_instructions(out, true); }},
    {"--add-folder", "a folder path", [](const Printer& out, const std::string& v, bool yes) { return allow_add(out, v, yes); }},
    {"--remove-folder", "a folder path", [](const Printer& out, const std::string& v, bool) { return allow_remove(out, v); }},
    {"--list-folders", nullptr, [](const Printer& out, const std::string&, bool) { return list_allowed(out); }},
    {"--chats", nullptr, [](const Printer& out, const std::string&, bool) { return list_chats(out, false); }},
    {"--history", nullptr, [](const Printer& out, const std::string&, bool) { return list_chats(out, false); }},
    {"--list", nullptr, [](const Printer& out, const std::string&, bool) { return list_chats(out, false); }},
    {"--chats-all", nullptr, [](const Printer& out, const std::string&, bool) { return list_chats(out, true); }},
    {"--chatlog", "a chat ID or number", [](const Printer& out, const std::string& v, bool) { return show_chatlog(out, v); }},
}};

const ManagementOption* find_management_option(std::string_view argument) {
  for (const ManagementOption& option : kManagementOptions)
    if (option.name == argument) return &option;
  return nullptr;
}

struct Scan {
  const ManagementOption* management = nullptr;
  std::string value;
  bool force_yes = false;
  bool yes = false;  // --yes: a wide folder is allowed without asking
  bool no_browser = false;
  std::optional<std::string> browser;  // --browser <command>
  std::vector<std::string> words;
};

Result<Scan> scan_arguments(const std::vector<std::string>& args) {
  Scan scan;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      scan.words.insert(scan.words.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    }
    if (arg == "--force-yes") {
      scan.force_yes = true;
    } else if (arg == "--yes") {
      scan.yes = true;
    } else if (arg == "--no-browser") {
      scan.no_browser = true;
    } else if (arg == "--browser") {
      if (i + 1 >= args.size()) return failure("--browser requires a browser command, or default.");
      scan.browser = args[++i];
    } else if (const ManagementOption* option = find_management_option(arg)) {
      if (scan.management) return failure(std::string(i18n::tr(kOneManagementOption)));
      scan.management = option;
      if (option->required_value) {
        const bool missing = i + 1 >= args.size() || (args[i + 1].size() > 1 && args[i + 1].starts_with("--"));
        if (missing) return failure(fmt::format("{} requires {}.", arg, option->required_value));
        scan.value = args[++i];
      }
    } else if (arg.starts_with('-')) {
      return failure(fmt::format("{} {}. {}", i18n::tr(kUnknownOption), arg, i18n::tr(kRunHelp)));
    } else {
      scan.words.push_back(arg);
    }
  }
  return scan;
}

bool is_chat_reference(const std::string& word) {
  unsigned long long number = 0;
  return chat_url(word).has_value() || parse_unsigned(word, number);
}

// The chat a bare prompt continues: this project's latest, if it has one.
Result<std::optional<Chat>> project_chat_to_continue(const Printer& out) {
  auto folder = current_folder();
  if (!folder) return std::unexpected(folder.error());
  if (!is_dir(*folder / ".wendlebox")) return std::optional<Chat>();
  auto chats = read_project_chats(*folder, out);
  if (!chats) return std::unexpected(chats.error());
  return latest_project_chat(*folder, *chats);
}

// Which saved chat the session goes on with, by the number --chats shows,
// so the user sees that the reference picked the chat they meant.
void say_resumed_chat(const Chat& chat, const Printer& out) {
  const std::vector<Chat> chats = load_chats(out);
  const auto saved = std::find_if(chats.begin(), chats.end(), [&](const Chat& c) { return c.id == chat.id; });
  if (saved == chats.end()) return;  // an address not saved yet: a chat new to this program
  out << fmt::format(fmt::runtime(i18n::tr(kResuming)), out.paint(Colour::heading, std::to_string(saved - chats.begin() + 1)),
                     one_line_text(chat.title), one_line_text(friendly_folder(chat.folder)))
      << '\n';
}

Status start_session(Scan scan, const SessionWorld& world) {
  std::optional<std::string> reference;
  if (!scan.words.empty() && is_chat_reference(scan.words.back())) {
    reference = scan.words.back();
    scan.words.pop_back();
  }
  std::string joined;
  for (std::size_t i = 0; i < scan.words.size(); ++i) joined += (i ? " " : "") + scan.words[i];
  std::optional<std::string> prompt;
  if (!trim(joined).empty()) prompt = joined;

  std::optional<Chat> chat;
  if (reference) {
    auto resolved = resolve_chat(world.out, *reference);
    if (!resolved) return std::unexpected(resolved.error());
    chat = std::move(*resolved);
  } else if (prompt) {
    auto latest = project_chat_to_continue(world.out);
    if (!latest) return std::unexpected(latest.error());
    chat = std::move(*latest);
  }
  auto settings = load_settings();
  if (!settings) return std::unexpected(settings.error());
  if (chat) say_resumed_chat(*chat, world.out);
  const SessionSettings session_settings{.allow_commands = settings->allow_commands, .force_yes = scan.force_yes,
                                         .sounds = settings->sounds, .git = settings->git,
                                         .open_browser = !scan.no_browser, .review_edits = settings->review_edits,
                                         .command_timeout = settings->command_timeout_seconds,
                                         .project_instructions = settings->project_instructions};
  return task(prompt, chat, session_settings, world);
}

// `--probe [chat]`: the chat named, else this project's latest, else a new one.
Status probe_from_arguments(const std::vector<std::string>& args, const SessionWorld& world) {
  if (args.size() > 2) return failure("--probe takes at most a chat ID or number.");
  std::optional<Chat> chat;
  if (args.size() == 2) {
    auto named = resolve_chat(world.out, args[1]);
    if (!named) return std::unexpected(named.error());
    chat = std::move(*named);
  } else {
    auto latest = project_chat_to_continue(world.out);
    if (!latest) return std::unexpected(latest.error());
    chat = std::move(*latest);
  }
  auto folder = current_folder();
  if (!folder) return std::unexpected(folder.error());
  return probe(chat, world, *folder);
}

}  // namespace

SessionWorld product_world() {
  return SessionWorld{.page_link =
                          [](const std::filesystem::path& folder) {
                            auto settings = load_settings();
                            const std::optional<std::string> saved = settings ? settings->browser : std::nullopt;
                            BridgedPageLink::Opener opener{
                                .open = [saved](const std::string& target) { return open_address(target, saved); },
                                .reader = page_reader(launch_command("", saved))};
                            return std::make_unique<BridgedPageLink>(
                                kBridgePorts, std::move(opener), extension_to_load().value_or("").string(),
                                [](int) {}, WaitTimings{}, folder.string());
                          },
                      .read_prompt =
                          [](const std::optional<std::string>& chat_url, std::vector<std::string>& history) {
                            return read_terminal_prompt(Printer::standard(), chat_url, history);
                          },
                      .out = Printer::standard()};
}

Status run(const std::vector<std::string>& args, const SessionWorld& world) {
  if (!args.empty()) {
    const std::string& first = args.front();
    if (first == "-h" || first == "help" || first == "--help") {
      print_help(world.out);
      return {};
    }
    if (first == "list" || first == "chats") return failure(std::string(i18n::tr(kUseChats)));
    if (first == "--version" || first == "version") {
      world.out << "wendlebox " WENDLEBOX_VERSION "\nextension expected: " WENDLEBOX_VERSION "\n";
      return {};
    }
    const bool asks_help = args.size() > 1 && (args[1] == "--help" || args[1] == "-h");
    if (first == "setup") return asks_help ? (world.out << i18n::tr(kSetupHelp) << '\n', Status{}) : setup(world.out);
    if (first == "doctor") return asks_help ? (world.out << i18n::tr(kDoctorHelp) << '\n', Status{}) : doctor(world.out);
    if (first == "uninstall") {
      if (asks_help) return world.out << i18n::tr(kUninstallHelp) << '\n', Status{};
      for (std::size_t i = 1; i < args.size(); ++i)
        if (args[i] != "--purge" || i > 1) return failure(fmt::format("uninstall takes only --purge, not {}.", args[i]));
      return uninstall(world.out, args.size() == 2);
    }
    if (first == "--probe") return probe_from_arguments(args, world);
  }
  auto scan = scan_arguments(args);
  if (!scan) return std::unexpected(scan.error());
  if (scan->management) {
    const std::string_view name = scan->management->name;
    if (!scan->words.empty()) return failure(fmt::format("{} cannot be combined with a prompt or chat ID.", name));
    if (scan->force_yes) return failure(fmt::format("{} cannot be combined with --force-yes.", name));
    if (scan->no_browser) return failure(fmt::format("{} cannot be combined with --no-browser.", name));
    if (scan->browser) return failure(fmt::format("{} cannot be combined with --browser.", name));
    if (scan->yes && name != "--add-folder") return failure(fmt::format("{} cannot be combined with --yes.", name));
    return scan->management->operation(world.out, scan->value, scan->yes);
  }
  if (scan->yes) return failure("--yes goes only with --add-folder.");
  // --browser saves the choice, then the session (if any) opens with it.
  if (scan->browser) {
    if (auto saved = set_browser(world.out, *scan->browser); !saved) return saved;
    if (scan->words.empty()) return {};
  }
  if (!args.empty() && scan->words.empty()) {
    world.out << i18n::tr(kNoChatStarted) << '\n';
    return {};
  }
  return start_session(std::move(*scan), world);
}

int run_main(int argc, char** argv) {
  std::vector<std::string> args;
  Status outcome;
  for (int i = 1; i < argc && outcome; ++i) {
    args.emplace_back(argv[i]);
    if (!is_valid_utf8(args.back())) outcome = failure(fmt::format("Argument {} is not valid UTF-8.", i));
  }
  if (outcome) outcome = run(args, product_world());
  const int status = exit_status(outcome, Printer::standard(), Printer::errors());
  obey_end_signal();  // a session told to end by SIGHUP or SIGTERM ended cleanly: now the signal has its way
  return status;
}

int exit_status(const Status& outcome, const Printer& out, const Printer& errors) {
  out.flush();
  if (outcome) return 0;
  errors.line(Colour::error, fmt::format("Wendlebox: {}", outcome.error()));
  return 1;
}

}  // namespace wendlebox
