#include "actions/executor.h"

#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>

#include <fmt/format.h>

#include "actions/command_rules.h"
#include "actions/confirm.h"
#include "actions/kept_output.h"
#include "actions/edit_file.h"
#include "actions/file_access.h"
#include "actions/images.h"
#include "actions/live_output.h"
#include "actions/read_lines.h"
#include "actions/review.h"
#include "workspace/safe_path.h"
#include "actions/search.h"
#include "common/files.h"
#include "workspace/folder_walk.h"
#include "process/process.h"
#include "common/text.h"
#include "i18n/i18n.h"
#include "actions/messages.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxEntries = 200;
constexpr std::size_t kMaxImages = 4;

using namespace messages::actions;

static_assert(kMaxCommandTimeout == 3600, "the timeout message says the limit");
// What goes back to ChatGPT is English; the user reads it in their language.
std::unexpected<Error> failure_shown_translated(const i18n::Text& text) {
  return std::unexpected(Error{.message = std::string(text.en), .in_users_language = std::string(i18n::tr(text))});
}

std::unexpected<Error> too_many_images() {
  return failure(fmt::format("At most {} images can be attached in a turn", kMaxImages));
}

std::uint64_t estimated_bytes(const Attachment& attachment) { return attachment.base64.size() * 3 / 4; }

Result<Json> list_files(const Action& action, ExecutionContext& context) {
  auto folder = safe_path(context.base, context.roots, action.path.value_or("."), false);
  if (!folder) return std::unexpected(folder.error());
  auto opened = open_folder(*folder);
  if (!opened) return std::unexpected(opened.error());
  std::vector<std::string> entries;
  int vanished = 0;  // an entry gone before its kind was known fails the listing
  auto walked = walk_folder(std::move(*opened), WalkRules{.max_depth = 0}, [&](const WalkEntry& entry) {
    if (entry.kind == WalkEntry::Kind::Gone) {
      vanished = entry.error;
      return WalkStep::Stop;
    }
    entries.push_back(lossy_utf8(entry.name) + (entry.kind == WalkEntry::Kind::Folder ? "/" : ""));
    return entries.size() < kMaxEntries ? WalkStep::Next : WalkStep::Stop;
  });
  if (vanished != 0) return os_failure(vanished);
  if (!walked) return std::unexpected(walked.error());
  std::ranges::sort(entries);
  progress(context.out, i18n::tr(kListed), fmt::format("{} ({} {})", one_line_text(action.path.value_or(".")), entries.size(),
                                          i18n::tr(kEntries)));
  return Json{{"entries", entries}};
}

Result<Json> read_file_action(const Action& action, ExecutionContext& context) {
  if (!action.path) return failure("Missing path");
  if (action.start_line || action.end_line) return read_file_lines(action, context);
  // One byte past the limit is enough to tell the file is too long.
  auto content = read_confined(context, *action.path, kMaxReadBytes + 1);
  if (!content) return std::unexpected(content.error());
  if (content->size() > kMaxReadBytes)
    return failure("File exceeds 250 KB. Read a smaller file, or read this one in parts with start_line and end_line.");
  if (!is_valid_utf8(*content)) return failure("File is not UTF-8 text");
  progress(context.out, i18n::tr(kRead), fmt::format("{} ({} bytes)", one_line_text(*action.path), content->size()));
  return Json{{"content", *content}, {"path", *action.path}};
}

Result<Json> write_file_action(const Action& action, ExecutionContext& context) {
  if (!action.path) return failure("Missing path");
  if (!action.content) return failure("Missing content");
  if (auto made = make_change(context, *action.path, file_before_write(context, *action.path), *action.content,
                              i18n::tr(kWrote), one_line_text(*action.path));
      !made)
    return std::unexpected(made.error());
  return Json{{"bytes", action.content->size()}, {"path", *action.path}};
}

// Why a command did not end by itself, when it did not.
enum class Ending { Itself, StoppedByUser, TimedOut, PromptStopped };

// How a command ended, in the user's words: its exit code, or what stopped it.
std::string ending_of(const ExitStatus& status, Ending ending, unsigned timeout) {
  if (ending == Ending::TimedOut)
    return fmt::format(fmt::runtime(i18n::tr(kStoppedAtTimeLimit)), timeout);
  if (ending == Ending::StoppedByUser || ending == Ending::PromptStopped) return std::string(i18n::tr(kStoppedByCtrlC));
  if (status.code) return fmt::format(fmt::runtime(i18n::tr(kExit)), *status.code);
  const char* name = status.signal ? sigabbrev_np(*status.signal) : nullptr;
  return name ? fmt::format(fmt::runtime(i18n::tr(kStoppedBySignal)), name) : std::string(i18n::tr(kStopped));
}

Result<Json> run_action(const Action& action, ExecutionContext& context) {
  if (!action.command) return failure_shown_translated(kMissingCommand);
  // The shell would run the command only up to a NUL, not what was shown.
  if (action.command->find('\0') != std::string::npos) return failure_shown_translated(kNulInCommand);
  const std::uint64_t timeout = action.timeout.value_or(context.command_timeout);
  if (timeout == 0 || timeout > kMaxCommandTimeout)
    return failure_shown_translated(kBadTimeout);
  if (!context.allow_commands && !context.force_yes) {
    if (auto allowed = approve_command(*action.command, context); !allowed) return std::unexpected(allowed.error());
  } else {
    show_run_line(context.out, *action.command);
  }
  context.out.flush();  // the Run line shows before a long command, even through a pipe
  LiveOutput shown(context.out);
  KeptOutput kept[2];
  Ending ending = Ending::Itself;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout);
  CommandStop* stop = context.command_stop;
  if (stop) stop->requested = false, stop->running = true;
  // Told about ten times a second; says once why the command is being ended.
  const auto should_stop = [&] {
    if (ending != Ending::Itself) return true;
    if (context.interrupt && *context.interrupt) {
      ending = Ending::PromptStopped;
    } else if (stop && stop->requested) {
      ending = Ending::StoppedByUser;
      shown.notice(Colour::warning, i18n::tr(kCtrlCStopsCommand));
    } else if (std::chrono::steady_clock::now() >= deadline) {
      ending = Ending::TimedOut;
      shown.notice(Colour::warning, fmt::format(fmt::runtime(i18n::tr(kTimeLimitReached)), timeout));
    }
    return ending != Ending::Itself;
  };
  auto ran = run_process(ProcessSpec{.argv = {"sh", "-c", *action.command}, .cwd = context.base,
                                     .capture_limit = 0, .keep_descendants = true, .should_stop = should_stop,
                                     .on_output = [&](std::string_view piece, bool errors) {
                                       kept[errors ? 1 : 0].take(piece);
                                       shown.take(piece, errors);
                                     }});
  if (stop) stop->running = false;
  shown.finish();
  if (!ran) return std::unexpected(ran.error());
  if (context.keepers) context.keepers->take(std::move(ran->keeper));
  const std::optional<int> code = ran->status.code;
  context.out.line(code == 0 && ending == Ending::Itself ? Colour::success : Colour::error, ending_of(ran->status, ending, timeout));
  const KeptOutput::Text out = kept[0].finish(), errors = kept[1].finish();
  Json result{{"exit_code", code ? Json(*code) : Json(nullptr)}, {"stderr", errors.text}, {"stdout", out.text}};
  if (out.truncated || errors.truncated) result["truncated"] = true;
  if (ending == Ending::TimedOut) result["timed_out"] = true;
  if (ending == Ending::StoppedByUser) result["stopped_by_user"] = true;
  return result;
}

Result<Json> screenshot_action(ExecutionContext& context) {
  const bool has_screenshot = std::ranges::any_of(
      context.pending, [](const Attachment& a) { return a.name.starts_with(kScreenshotPrefix); });
  if (has_screenshot) return failure("Only one screenshot can be attached in a turn");
  if (context.pending.size() >= kMaxImages) return too_many_images();
  const std::string_view question = i18n::tr(kScreenshotQuestion);
  auto consent = context.allow_commands ? confirm_once(context.out, question)
                                        : confirm_action(context.out, question, context.force_yes);
  if (!consent) return std::unexpected(consent.error());
  auto screenshot = screenshot_attachment();
  if (!screenshot) return std::unexpected(screenshot.error());
  const std::uint64_t bytes = estimated_bytes(*screenshot);
  context.pending.push_back(std::move(*screenshot));
  context.out.line(Colour::warning, i18n::tr(kScreenshotTaken));
  return Json{{"bytes", bytes},
              {"captured", true},
              {"note", "The screenshot will be attached to the next ChatGPT message."}};
}

Result<Json> attach_image_action(const Action& action, ExecutionContext& context) {
  if (!action.path) return failure("Missing path");
  if (context.pending.size() >= kMaxImages) return too_many_images();
  auto content = read_confined(context, *action.path, kMaxImageBytes + 1);
  if (!content) return std::unexpected(content.error());
  auto image = image_attachment(*action.path, *content);
  if (!image) return std::unexpected(image.error());
  const bool duplicate =
      std::ranges::any_of(context.pending, [&](const Attachment& a) { return a.base64 == image->base64; });
  if (duplicate) return failure("That image is already attached to this turn");
  progress(context.out, i18n::tr(kAttachedImage), one_line_text(*action.path));
  const std::uint64_t bytes = estimated_bytes(*image);
  context.pending.push_back(std::move(*image));
  return Json{{"attached", true},
              {"bytes", bytes},
              {"note", "The image will be attached to the next ChatGPT message."},
              {"path", *action.path}};
}

Result<Json> screenshot(const Action&, ExecutionContext& context) { return screenshot_action(context); }

// Every action ChatGPT may ask for: its name, the example the system prompt
// shows (in this order), and what carries it out.
struct ActionKind {
  std::string_view name;
  std::string_view example;
  Result<Json> (*run)(const Action&, ExecutionContext&);
  // Known to change no file: not watched. Any other action is, whatever it is.
  bool only_reads = false;
};

constexpr ActionKind kActionKinds[] = {
    {"list_files", R"({"type":"list_files","path":"."})", list_files, true},
    {"read_file", R"({"type":"read_file","path":"relative/path"})", read_file_action, true},
    {"write_file", R"({"type":"write_file","path":"relative/path","content":"complete file content"})",
     write_file_action},
    {"run", R"({"type":"run","command":"command to run in the working folder"})", run_action},
    {"screenshot", R"({"type":"screenshot"})", screenshot, true},
    {"attach_image", R"({"type":"attach_image","path":"relative/or/absolute/image.png"})", attach_image_action, true},
    {"edit_file",
     R"({"type":"edit_file","path":"relative/path","edits":[{"old":"exact text to replace","new":"replacement text"}]})",
     edit_file_action, false},
    {"search", R"({"type":"search","pattern":"text to find","path":".","glob":"*.cc","regex":false,"ignore_case":false})",
     search_action, true},
};

// What a failed action concerned, for its line: the path, else the start of
// the command (the Run line above shows it whole), else what was searched for.
std::string subject_of(const Action& action) {
  constexpr std::size_t kShownCharacters = 60;
  const std::optional<std::string>& subject = action.path ? action.path : action.command ? action.command : action.pattern;
  if (!subject) return "";
  return " " + shortened(one_line_text(*subject), kShownCharacters);
}

// The file an action names, where the action itself would find it.
std::optional<fs::path> named_file(const Action& action, const ExecutionContext& context) {
  if (!action.path) return std::nullopt;
  auto path = safe_path(context.base, context.roots, *action.path, false);
  return path ? std::optional<fs::path>(path->resolved) : std::nullopt;
}

Result<Json> run_watched(const ActionKind& kind, const Action& action, ExecutionContext& context) {
  if (!context.watch) return kind.run(action, context);
  if (kind.only_reads) {
    context.watch->unwatched();
    return kind.run(action, context);
  }
  context.watch->before(named_file(action, context));
  Result<Json> outcome = kind.run(action, context);
  context.watch->after(named_file(action, context));
  return outcome;
}

}  // namespace

Result<Json> execute(const Action& action, ExecutionContext& context) {
  Result<Json> outcome = failure("Unknown action: " + action.type);
  for (const ActionKind& kind : kActionKinds)
    if (kind.name == action.type) outcome = run_watched(kind, action, context);
  // Every failure is shown as it goes back to ChatGPT: the user must not
  // learn of a refused path or a missing file only from ChatGPT's reply.
  if (!outcome && outcome.error().kind != ErrorKind::Declined)
    context.out.line(Colour::error, fmt::format("{}{} {}: {}", one_line_text(action.type), subject_of(action), i18n::tr(kFailed),
                                                visible_text(outcome.error().shown())));
  return outcome;
}

std::string action_examples() {
  std::string examples;
  for (const ActionKind& kind : kActionKinds) examples += (examples.empty() ? "" : ",") + std::string(kind.example);
  return examples;
}

}  // namespace wendlebox
