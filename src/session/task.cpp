#include "session/task.h"

#include <iostream>
#include <sstream>

#include <fmt/format.h>

#include "actions/executor.h"
#include "workspace/out_of_reach.h"
#include "workspace/safe_path.h"
#include "bridge/server.h"
#include "bridge/token.h"
#include "common/end_signals.h"
#include "common/files.h"
#include "process/process.h"
#include "common/random.h"
#include "common/text.h"
#include "git/git.h"
#include "undo/prompt_watch.h"
#include "undo/undo.h"
#include "undo/undo_history.h"
#include "i18n/i18n.h"
#include "session/interrupt.h"
#include "session/project_instructions.h"
#include "session/protocol.h"
#include "session/completion.h"
#include "session/session_state.h"
#include "session/undo_and_diff.h"
#include "session/folder_claim.h"
#include "session/wait.h"
#include "state/allowed.h"
#include "state/chatlog.h"
#include "state/project_folder.h"
#include "state/settings.h"
#include "session/messages.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

constexpr int kMaxTurns = 24;
// Told to ChatGPT before the next prompt after /undo, so it does not count
// on files it wrote.
constexpr std::string_view kUndoneNote =
    "Note: the user undid your last change; the files are back as they were before the previous prompt.";
constexpr int kRetryTurns = 2;

using namespace messages::session;

Result<std::filesystem::path> working_folder(const std::optional<Chat>& chat) {
  if (chat) {
    auto folder = canonical_path(chat->folder);
    if (!folder) return failure("The saved folder is unavailable: " + chat->folder);
    return folder;
  }
  return current_folder();
}

std::string extra_folders_text(const std::vector<std::filesystem::path>& roots) {
  std::string text;
  for (std::size_t i = 1; i < roots.size(); ++i) text += (i > 1 ? "\n" : "") + friendly_folder(roots[i]);
  return text.empty() ? "(none)" : text;
}

// The chat's saved address without its fragment, or the new-chat page.
std::string launch_address(const std::optional<Chat>& chat) {
  const std::string base = chat && !chat->url.empty() ? chat->url : std::string(kNewChatPage);
  return base.substr(0, base.find('#'));
}

void log_entry(const Session& session, const std::string& role, const std::string& text) {
  if (auto logged = append_chatlog(session.chat, role, text); !logged)
    session.world.out.line(Colour::warning, "Could not save local chat log: " + logged.error().message);
}

// An extension older or newer than the program is said once per version
// seen, with how to reload it; the version (and, by the file's time, when
// it was seen) is remembered for doctor.
void check_extension_version(const Printer& out, const std::string& version) {
  if (version != WENDLEBOX_VERSION)
    out.line(Colour::warning, fmt::format(fmt::runtime(i18n::tr(kVersionMismatch)), visible_text(version), WENDLEBOX_VERSION));
  // Only doctor reads it; a session goes on without it.
  (void)remember_extension_version(version);
}

// Hands the job to ChatGPT's page and waits for the answer to it.
Result<JobResult, Stopped> publish_and_wait(Session& session, const std::string& prompt,
                                                       bool probe = false) {
  std::vector<Attachment> attachments = std::move(session.prompts.pending);
  session.prompts.pending.clear();
  session.world.out.flush();
  auto result = session.page.link->ask(Job{prompt, std::move(attachments), ++session.page.job_counter, probe},
                                     &InterruptScope::requested(), session.world.out);
  if (!result) return result;
  const std::optional<std::string> version = session.page.link->extension_version();
  if (version && version != session.page.extension_version) check_extension_version(session.world.out, *version);
  session.page.extension_version = version;
  // Remembered for doctor, which says where the extension was last seen; a
  // session goes on without it.
  const std::optional<std::string> browser = session.page.link->extension_browser();
  if (browser && browser != session.page.extension_browser) {
    if (browser != last_seen_extension_browser()) (void)remember_extension_browser(*browser);
    session.page.extension_browser = browser;
  }
  return result;
}

// ChatGPT's message, each of its lines marked as ChatGPT's: no line of it
// can pass for one of the program's own ("Run? …").
void show_message(const Printer& out, std::string_view message) {
  const std::string shown = visible_text(message);
  for (std::string_view line : split_lines(shown)) out << out.paint(Colour::reply, "ChatGPT") << ' ' << line << '\n';
}

// What the session's commands started in the background (`server &`)
// ends with the session rather than outliving it unseen.
void stop_leftover_processes(Session& session) {
  const std::size_t stopped = session.keepers.end();
  if (stopped > 0)
    session.world.out.line(Colour::warning, fmt::format(fmt::runtime(i18n::tr(kStoppedBackground)), stopped));
}

void finish_prompt(Session& session, const std::string& prompt, const std::string& message) {
  std::string log_text = compact_final_message(message);
  if (log_text.empty()) log_text = "Task finished.";
  log_entry(session, "done", log_text);
  if (session.undo.git_session) {
    auto commit = commit_finished_task(*session.undo.git_session, prompt, session.world.out);
    if (commit && session.undo.watch) {
      session.undo.watch->finish();
      session.undo.committed.add({.commit = *commit, .prompt = prompt, .watch = std::move(*session.undo.watch)});
      session.undo.most_undoable = std::max(session.undo.most_undoable, session.undo.committed.size());
    }
  }
  session.undo.watch.reset();
  if (!session.chat.url.empty()) session.world.out.line(Colour::dim, "Chat: " + session.chat.url);
  if (session.settings.sounds) play_completion_sound(session.world.out);
  session.world.out << std::endl;
}

Json run_actions(Session& session, const std::vector<Action>& actions) {
  Json results = Json::array();
  InterruptScope::actions_start();
  ChangeWatch watch;
  if (session.undo.watch) {
    // The user may have worked on the files since the last batch ran.
    session.undo.watch->look_afresh();
    watch.before = [&](const std::optional<fs::path>& named) { session.undo.watch->before(named); };
    watch.after = [&](const std::optional<fs::path>& named) { session.undo.watch->after(named); };
    watch.unwatched = [&] { session.undo.watch->look_afresh(); };
  }
  for (const Action& action : actions) {
    if (InterruptScope::requested()) break;  // nothing further runs once the user stopped the prompt
    ExecutionContext context{.base = session.folders.working,
                             .roots = session.folders.roots,
                             .allow_commands = session.settings.allow_commands,
                             .force_yes = session.settings.force_yes,
                             .pending = session.prompts.pending,
                             .interrupt = &InterruptScope::requested(),
                             .out = session.world.out,
                             .keepers = &session.keepers,
                             .watch = session.undo.watch ? &watch : nullptr,
                             .review_edits = session.settings.review_edits,
                             .edits_approved = &session.prompts.edits_approved,
                             .command_stop = InterruptScope::command_stop(),
                             .command_timeout = session.settings.command_timeout,
                             .told_bad_rules = &session.told.bad_rules};
    auto outcome = execute(action, context);
    results.push_back(outcome ? success_result(action.type, std::move(*outcome))
                              : failure_result(action.type, outcome.error().message));
  }
  if (session.undo.watch) session.undo.watch->look_afresh();  // not held while ChatGPT answers
  return results;
}

enum class PromptEnd { Done, Interrupted };

// The turns of one prompt, until ChatGPT says it is done or the user stops it.
Result<PromptEnd> run_turns(Session& session, const std::string& prompt, std::string text) {
  session.prompts.edits_approved = false;  // "a" lets through one prompt's changes, no more
  for (int turn = 1; turn <= kMaxTurns; ++turn) {
    session.world.out.line(Colour::heading, fmt::format("Wendlebox · {} {}", i18n::tr(kTurn), turn));
    auto result = publish_and_wait(session, text);
    if (!result && result.error().reason == StopReason::Interrupted) return PromptEnd::Interrupted;
    if (!result) return failure(result.error().message);
    if (result->url) {
      if (auto url = page_chat_url(*result->url))
        if (auto saved = save_chat(session.chat, *url, session.folders.working, session.world.out); !saved)
          return std::unexpected(saved.error());
    }
    if (result->error) return failure(fmt::format("{}: {}", i18n::tr(kBrowser), visible_text(*result->error)));
    if (!result->text) return failure("ChatGPT returned no text.");
    auto reply = parse_reply(*result->text);
    if (!reply) {
      if (turn > kRetryTurns)
        return failure(fmt::format("Could not read ChatGPT's agent response: {}\n\n{}",
                                   visible_text(reply.error().message), visible_text(*result->text)));
      text = retry_prompt(reply.error().message);
      continue;
    }
    show_message(session.world.out, reply->message);
    const Json results = run_actions(session, reply->actions);
    if (InterruptScope::requested()) return PromptEnd::Interrupted;
    if (reply->status == "done" && reply->actions.empty()) {
      finish_prompt(session, prompt, reply->message);
      return PromptEnd::Done;
    }
    text = tool_results_prompt(results);
  }
  return failure(fmt::format("{} {} {}", i18n::tr(kStoppedAfter), kMaxTurns, i18n::tr(kTurnsContinueLater)));
}

Status prompt_loop(Session& session, std::optional<std::string> pending_prompt) {
  for (;;) {
    if (end_signal() != 0) return {};
    std::string prompt;
    if (pending_prompt) {
      prompt = std::move(*pending_prompt);
      pending_prompt.reset();
    } else {
      if (!std::exchange(session.told.how_to_go_on, true))
        session.world.out
            << i18n::tr(session.prompts.first && session.chat.url.empty() ? kTypeFirstPrompt : kTypePrompt)
            << std::endl;
      const std::optional<std::string> url =
          session.chat.url.empty() ? std::nullopt : std::optional<std::string>(session.chat.url);
      auto typed = session.world.read_prompt(url, session.prompts.history);
      if (end_signal() != 0) return {};  // the terminal closed, or the program is told to end: as /exit
      if (!typed) return std::unexpected(typed.error());
      if (!*typed) return {};
      prompt = std::move(**typed);
      if (prompt == "/undo") {
        undo_last_prompt(session);
        continue;
      }
      if (prompt == "/diff") {
        show_last_prompt(session);
        continue;
      }
    }
    if (session.chat.title == kNewChatTitle) session.chat.title = chat_title(prompt);
    // Before any action of the prompt: which files git reads as settings,
    // and what they are now.
    accept_git_settings(session.folders.working, session.folders.roots);
    if (session.prompts.first && session.settings.git)
      session.undo.git_session = prepare_git(session.folders.working, session.world.out);
    log_entry(session, "user", prompt);
    session.undo.watch.reset();
    if (session.undo.git_session)
      session.undo.watch = PromptWatch::start(*session.undo.git_session, session.folders.working, session.undo.kept);
    const std::string folder = friendly_folder(session.folders.working);
    std::string text = session.prompts.first ? first_prompt(prompt, folder, session.folders.extra_text)
                                            : continuation_prompt(prompt, folder, session.folders.extra_text);
    if (session.prompts.first && session.settings.project_instructions)
      if (std::string section =
              instructions_for_chat(session.chat, session.folders.working, session.folders.roots, session.world.out);
          !section.empty())
        text += "\n\n" + section;
    if (std::exchange(session.prompts.undone, false)) text = std::string(kUndoneNote) + "\n" + text;
    Result<PromptEnd> done;
    {
      const InterruptScope ctrl_c;
      done = run_turns(session, prompt, std::move(text));
    }
    session.prompts.first = false;
    if (!done) return std::unexpected(done.error());
    if (*done == PromptEnd::Interrupted) {
      session.prompts.pending.clear();
      log_entry(session, "interrupted", prompt);
      session.world.out << session.world.out.paint(Colour::warning, i18n::tr(kInterruptedLine)) << std::endl;
    }
  }
}

// Opens the chat's page (or a new chat) for the session; what the opening
// has to say goes to `notices`.
Status open_page(Session& session, const std::optional<Chat>& chat, const Printer& notices) {
  session.page.link = session.world.page_link(session.folders.working);
  return session.page.link->open_page(launch_address(chat), notices, session.settings.open_browser);
}

}  // namespace

Result<std::string> probe_page(const std::optional<Chat>& chat, const SessionWorld& world) {
  Session session{.world = world, .settings = {}};
  if (auto opened = open_page(session, chat, world.out); !opened) return std::unexpected(opened.error());
  auto result = publish_and_wait(session, "", true);
  if (!result) return failure(result.error().message);
  if (result->error) return failure(fmt::format("{}: {}", i18n::tr(kBrowser), visible_text(*result->error)));
  if (!result->text) return failure("The extension returned no report.");
  return *result->text;
}

Status task(std::optional<std::string> prompt, std::optional<Chat> chat, const SessionSettings& settings,
            const SessionWorld& world) {
  // Held until the session below is gone, its page with it.
  const EndSignalScope end_signals(InterruptScope::flag());
  Session session{.world = world, .settings = settings};
  auto folder = working_folder(chat);
  if (!folder) return std::unexpected(folder.error());
  session.folders.working = *folder;
  // Before anything opens: another session in this folder or repository is named, not joined.
  auto claim = claim_folder(session.folders.working);
  if (!claim) return std::unexpected(claim.error());
  // Said before ChatGPT is asked anything: its work could not be kept.
  if (auto writable = check_project_writable(session.folders.working, chat); !writable) return writable;
  auto allowed = load_allowed();
  if (!allowed) return std::unexpected(allowed.error());
  session.folders.roots = root_list(session.folders.working, allowed->folders);
  session.folders.extra_text = extra_folders_text(session.folders.roots);
  std::ostringstream notices;  // said after the session's heading
  if (auto opened = open_page(session, chat, world.out.for_buffer(notices)); !opened) return opened;
  // Only doctor's list of running sessions reads it: not worth ending for.
  if (const std::optional<int> port = session.page.link->port()) (void)claim->record_port(*port);
  world.out << world.out.paint(Colour::heading, "Wendlebox") << ' ' << friendly_folder(session.folders.working) << '\n'
            << i18n::tr(session.page.link->launched() ? kOpening : kKeepTabOpen) << "\n" << notices.str() << "\n";
  if (auto reach = broad_reach_notice(session.folders.roots)) world.out.line(Colour::warning, *reach);
  if (chat) {
    session.chat = *chat;
  } else {
    auto id = random_hex(16);
    if (!id) return std::unexpected(id.error());
    session.chat = new_chat(*id, prompt, session.folders.working);
  }
  Status done = prompt_loop(session, std::move(prompt));
  stop_leftover_processes(session);
  return done;
}

}  // namespace wendlebox
