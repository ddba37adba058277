#include "actions/executor.h"

#include <dirent.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>

#include <fmt/format.h>

#include "actions/confirm.h"
#include "actions/edit_file.h"
#include "actions/file_access.h"
#include "actions/images.h"
#include "actions/live_output.h"
#include "actions/read_lines.h"
#include "actions/review.h"
#include "actions/safe_path.h"
#include "actions/search.h"
#include "common/files.h"
#include "process/process.h"
#include "common/text.h"
#include "i18n/i18n.h"

namespace {

constexpr std::size_t kMaxEntries = 200;
constexpr std::size_t kMaxOutputChars = 12'000;
constexpr std::size_t kMaxImages = 4;

constexpr i18n::Text kWrote{"Wrote", "Gravado", "Escrito"};
constexpr i18n::Text kListed{"Listed", "Listado", "Listado"};
constexpr i18n::Text kEntries{"entries", "itens", "entradas"};
constexpr i18n::Text kFailed{"failed", "falhou", "falló"};
constexpr i18n::Text kAttachedImage{"Attached image", "Imagem anexada", "Imagen adjunta"};
constexpr i18n::Text kScreenshotQuestion{"Capture and attach your desktop screenshot to ChatGPT?",
                                         "Capturar e anexar a captura da sua área de trabalho ao ChatGPT?",
                                         "¿Capturar y adjuntar la captura de tu escritorio a ChatGPT?"};
constexpr i18n::Text kScreenshotTaken{"Desktop screenshot captured for the next ChatGPT message.",
                                      "Captura da área de trabalho feita para a próxima mensagem do ChatGPT.",
                                      "Captura del escritorio hecha para el próximo mensaje de ChatGPT."};

std::unexpected<std::string> too_many_images() {
  return failure(fmt::format("At most {} images can be attached in a turn", kMaxImages));
}

std::uint64_t estimated_bytes(const Attachment& attachment) { return attachment.base64.size() * 3 / 4; }

Result<Json> list_files(const Action& action, ExecutionContext& context) {
  auto folder = safe_path(context.base, context.roots, action.path.value_or("."), false);
  if (!folder) return std::unexpected(folder.error());
  auto opened = open_folder(*folder);
  if (!opened) return std::unexpected(opened.error());
  DIR* dir = ::fdopendir(opened->get());
  if (dir == nullptr) return os_failure();
  opened->release();  // closedir closes it from now on
  std::vector<std::string> entries;
  errno = 0;
  while (entries.size() < kMaxEntries) {
    const dirent* entry = ::readdir(dir);
    if (entry == nullptr) break;
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool directory = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat info;
      if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        const int error = errno;
        ::closedir(dir);
        return os_failure(error);
      }
      directory = S_ISDIR(info.st_mode);
    }
    entries.push_back(lossy_utf8(name) + (directory ? "/" : ""));
  }
  const int error = errno;
  ::closedir(dir);
  if (error != 0) return os_failure(error);
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

}  // namespace

Status write_confined(const ExecutionContext& context, const std::string& requested, std::string_view content) {
  if (content.size() > kMaxWriteBytes) return failure("File exceeds 1 MB");
  auto path = safe_path(context.base, context.roots, requested, true);
  if (!path) return std::unexpected(path.error());
  return replace_file(*path, content);
}

namespace {

Result<Json> write_file_action(const Action& action, ExecutionContext& context) {
  if (!action.path) return failure("Missing path");
  if (!action.content) return failure("Missing content");
  if (auto made = make_change(context, *action.path, file_before_write(context, *action.path), *action.content,
                              i18n::tr(kWrote), one_line_text(*action.path));
      !made)
    return std::unexpected(made.error());
  return Json{{"bytes", action.content->size()}, {"path", *action.path}};
}

std::string first_output_chars(std::string_view bytes) {
  return std::string(first_chars(lossy_utf8(bytes), kMaxOutputChars));
}

// How a command ended, in words: its exit code, or what stopped it.
std::string ending_of(const ExitStatus& status, bool stopped_by_user) {
  if (status.code) return fmt::format("Exit {}", *status.code);
  if (stopped_by_user) return "Stopped by Ctrl-C";
  const char* name = status.signal ? sigabbrev_np(*status.signal) : nullptr;
  return name ? fmt::format("Stopped by SIG{}", name) : "Stopped";
}

Result<Json> run_action(const Action& action, ExecutionContext& context) {
  if (!action.command) return failure("Missing command");
  // The shell would run the command only up to a NUL, not what was shown.
  if (action.command->find('\0') != std::string::npos) return failure("Command cannot contain a NUL byte");
  if (!context.allow_commands && !context.force_yes) {
    context.out << context.out.paint("33", "Run?") << ' ' << context.out.paint("35", one_line_text(*action.command)) << '\n';
    if (auto allowed = confirm_action("Allow this command?", context.force_yes); !allowed)
      return std::unexpected(allowed.error());
  } else {
    context.out << context.out.paint("33", "Run") << ' ' << context.out.paint("35", one_line_text(*action.command)) << '\n';
  }
  context.out.flush();  // the Run line shows before a long command, even through a pipe
  // Four bytes per character at most: the kept prefix always holds the
  // first 12,000 characters, whatever the command prints after them.
  LiveOutput shown(context.out);
  auto ran = run_process(ProcessSpec{.argv = {"sh", "-c", *action.command}, .cwd = context.base,
                                     .capture_limit = kMaxOutputChars * 4, .keep_descendants = true,
                                     .cancel = context.interrupt,
                                     .on_output = [&](std::string_view piece, bool errors) { shown.take(piece, errors); }});
  shown.finish();
  if (!ran) return std::unexpected(ran.error());
  if (context.keepers) {
    // Keepers whose command left nothing behind have ended: reaped now.
    std::erase_if(*context.keepers, [](pid_t keeper) {
      auto ended = try_wait_process(keeper);
      return !ended || *ended;
    });
    context.keepers->push_back(ran->keeper);
  }
  const std::optional<int> code = ran->status.code;
  const bool stopped_by_user = context.interrupt && *context.interrupt;
  context.out.line(code == 0 ? "32" : "31", ending_of(ran->status, stopped_by_user));
  return Json{{"exit_code", code ? Json(*code) : Json(nullptr)},
              {"stderr", first_output_chars(ran->errors)},
              {"stdout", first_output_chars(ran->output)}};
}

Result<Json> screenshot_action(ExecutionContext& context) {
  const bool has_screenshot = std::ranges::any_of(
      context.pending, [](const Attachment& a) { return a.name.starts_with(kScreenshotPrefix); });
  if (has_screenshot) return failure("Only one screenshot can be attached in a turn");
  if (context.pending.size() >= kMaxImages) return too_many_images();
  const std::string_view question = i18n::tr(kScreenshotQuestion);
  auto consent = context.allow_commands ? confirm_once(question) : confirm_action(question, context.force_yes);
  if (!consent) return std::unexpected(consent.error());
  auto screenshot = screenshot_attachment();
  if (!screenshot) return std::unexpected(screenshot.error());
  const std::uint64_t bytes = estimated_bytes(*screenshot);
  context.pending.push_back(std::move(*screenshot));
  context.out.line("33", i18n::tr(kScreenshotTaken));
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

void progress(const Printer& out, std::string_view label, std::string_view detail) {
  out << out.paint("33", label) << ' ' << detail << '\n';
}

Result<UniqueFd> open_confined(const ExecutionContext& context, const std::string& requested) {
  auto path = safe_path(context.base, context.roots, requested, false);
  if (!path) return std::unexpected(path.error());
  return open_regular_file(*path);
}

Result<std::string> read_confined(const ExecutionContext& context, const std::string& requested, std::size_t limit) {
  auto file = open_confined(context, requested);
  if (!file) return std::unexpected(file.error());
  return read_fd(file->get(), limit);
}

Result<Json> execute(const Action& action, ExecutionContext& context) {
  Result<Json> outcome = failure("Unknown action: " + action.type);
  for (const ActionKind& kind : kActionKinds)
    if (kind.name == action.type) outcome = run_watched(kind, action, context);
  // Every failure is shown as it goes back to ChatGPT: the user must not
  // learn of a refused path or a missing file only from ChatGPT's reply.
  if (!outcome && !outcome.error().starts_with("User declined"))
    context.out.line("31", fmt::format("{}{} {}: {}", one_line_text(action.type), subject_of(action), i18n::tr(kFailed),
                                         visible_text(outcome.error())));
  return outcome;
}

std::string action_examples() {
  std::string examples;
  for (const ActionKind& kind : kActionKinds) examples += (examples.empty() ? "" : ",") + std::string(kind.example);
  return examples;
}
