#include "session/protocol.h"

#include <fmt/format.h>

#include "actions/executor.h"
#include "common/text.h"
#include "i18n/i18n.h"

namespace wendlebox {

namespace {

// Teaches ChatGPT the reply format; sent once, at the start of a chat.
constexpr std::string_view kSystemPromptHead =
    R"PROMPT(You are working through Wendlebox, a local bridge. You can edit and inspect the user's working folder and any extra allowed folders through the actions below. Respond with exactly one fenced code block labelled wendlebox containing valid JSON. Schema: {"status":"continue"|"done","message":"brief human-readable progress or final answer","actions":[)PROMPT";
// The actions go here, from the action table; then how to change, read and
// find things without sending whole files.
constexpr std::string_view kSystemPromptTail = R"PROMPT(]}. To change an existing file, prefer edit_file to write_file: each "old" must be exact text of the file that occurs only once, with a few unchanged lines around the change, and the edits apply in order. Read a large file in parts with read_file's optional "start_line" and "end_line" (1-based, inclusive), and use search to find text (set "regex" to true for RE2 syntax) or, with a "glob" and no "pattern", files by name. Use only actions you need. The screenshot action captures the user's desktop after their confirmation and attaches it to the next message in this chat. The attach_image action uploads a PNG, JPEG, GIF, or WebP file from the working folder (or an allowed folder) to the next message in this chat, up to 4 images per turn and 8 MB each, so you can inspect it visually. Ask for either only when seeing the image would help; use list_files first if you do not know the file name. A run action may give "timeout" in seconds (at most 3600, the user's default otherwise): a command still running then is stopped and you get its output so far, so give one that never ends by itself (a server, a watcher) a short timeout. Relative file paths resolve inside the working folder. To access an extra allowed folder, use an absolute file path inside that folder. You may issue several actions in one reply. Wendlebox returns the result of each action in order. Do not claim a file was edited or a command succeeded before its result is returned. For a completed task, set status to done and actions to []. Never wrap JSON in additional prose. If a tool fails, inspect the result and adapt.)PROMPT";

constexpr std::size_t kMaxActions = 20;

Result<std::optional<std::vector<Edit>>> decode_edits(const JsonFields& fields, std::string_view text) {
  const Json* list = fields.find("edits");
  if (list == nullptr || list->is_null()) return std::optional<std::vector<Edit>>();
  if (!list->is_array()) return fields.error("invalid type: expected a list for `edits`");
  std::vector<Edit> edits;
  for (const Json& item : *list) {
    auto edit = JsonFields::of(item, text);
    if (!edit) return std::unexpected(edit.error());
    Edit decoded;
    if (auto read = edit->read({{"old", &decoded.old_text}, {"new", &decoded.new_text}}); !read)
      return std::unexpected(read.error());
    edits.push_back(std::move(decoded));
  }
  return std::optional(std::move(edits));
}

Status decode_search_and_range(const JsonFields& fields, Action& action) {
  if (auto read = fields.read({{"pattern", &action.pattern}, {"glob", &action.glob}}); !read) return read;
  for (auto [key, target] : {std::pair{"start_line", &action.start_line}, std::pair{"end_line", &action.end_line},
                             std::pair{"timeout", &action.timeout}}) {
    auto line = fields.optional_unsigned(key);
    if (!line) return std::unexpected(line.error());
    *target = *line;
  }
  for (auto [key, target] : {std::pair{"regex", &action.regex}, std::pair{"ignore_case", &action.ignore_case}}) {
    auto flag = fields.optional_bool(key);
    if (!flag) return std::unexpected(flag.error());
    *target = flag->value_or(false);
  }
  return {};
}

Result<Action> decode_action(const Json& value, std::string_view text) {
  auto fields = JsonFields::of(value, text);
  if (!fields) return std::unexpected(fields.error());
  Action action;
  auto type = fields->required_string("type");
  if (!type) return std::unexpected(type.error());
  action.type = std::move(*type);
  if (auto read = fields->read({{"path", &action.path}, {"content", &action.content}, {"command", &action.command}});
      !read)
    return std::unexpected(read.error());
  auto edits = decode_edits(*fields, text);
  if (!edits) return std::unexpected(edits.error());
  action.edits = std::move(*edits);
  if (auto read = decode_search_and_range(*fields, action); !read) return std::unexpected(read.error());
  return action;
}

Result<Reply> decode_reply(std::string_view text) {
  return decode_object(text, [text](const JsonFields& fields) -> Result<Reply> {
    Reply reply;
    auto status = fields.required_string("status");
    if (!status) return std::unexpected(status.error());
    reply.status = std::move(*status);
    auto message = fields.string_or("message", "");
    if (!message) return std::unexpected(message.error());
    reply.message = std::move(*message);
    if (const Json* actions = fields.find("actions")) {
      if (!actions->is_array()) return fields.error("invalid type: expected a list for `actions`");
      for (const Json& item : *actions) {
        auto action = decode_action(item, text);
        if (!action) return std::unexpected(action.error());
        reply.actions.push_back(std::move(*action));
      }
    }
    return reply;
  });
}

}  // namespace

std::string_view system_prompt() {
  static const std::string prompt = std::string(kSystemPromptHead) + action_examples() + std::string(kSystemPromptTail);
  return prompt;
}

std::string language_line(i18n::Language language) {
  if (language == i18n::Language::English) return "";
  return fmt::format(
      "\nWrite the \"message\" field in {}, the user's language. Keep the JSON keys, action types, and code in English.",
      i18n::display_name(language));
}

std::string first_prompt(std::string_view prompt, std::string_view folder, std::string_view extra_folders,
                         i18n::Language language) {
  return fmt::format("{}{}\n\nUser task: {}\nWorking folder: {}\nExtra folders allowed for file actions:\n{}",
                     system_prompt(), language_line(language), prompt, folder, extra_folders);
}

std::string continuation_prompt(std::string_view prompt, std::string_view folder, std::string_view extra_folders) {
  return fmt::format(
      "User task: {}\nWorking folder: {}\nExtra folders allowed for file actions:\n{}\nContinue using the Wendlebox "
      "JSON protocol in this chat.",
      prompt, folder, extra_folders);
}

std::string tool_results_prompt(const Json& results) {
  return fmt::format(
      "Wendlebox tool results (JSON):\n{}\n\nContinue the task. If finished, reply with status done and no actions. "
      "Keep using one wendlebox JSON block.",
      pretty_json(results));
}

std::string retry_prompt(std::string_view reason) {
  return fmt::format(
      "Your last reply could not be processed: {}. Reply with exactly one ```wendlebox JSON block using the schema "
      "already provided. No extra text.",
      reason);
}

Json success_result(const std::string& type, Json result) {
  return Json{{"ok", true}, {"result", std::move(result)}, {"type", type}};
}

Json failure_result(const std::string& type, const std::string& error) {
  return Json{{"error", error}, {"ok", false}, {"type", type}};
}

namespace {

bool is_json_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Just past the JSON object that starts at the first non-blank character
// from `from`, or npos: one pass that follows strings and their escapes, so
// fences and braces inside strings do not count.
std::size_t object_end(std::string_view text, std::size_t from) {
  while (from < text.size() && is_json_space(text[from])) ++from;
  if (from >= text.size() || text[from] != '{') return std::string_view::npos;
  int depth = 0;
  bool in_string = false, escaped = false;
  for (std::size_t i = from; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (escaped) escaped = false;
      else if (c == '\\') escaped = true;
      else if (c == '"') in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if ((c == '}' || c == ']') && --depth == 0) {
      return i + 1;
    }
  }
  return std::string_view::npos;
}

}  // namespace

Result<Reply> parse_reply(std::string_view text) {
  constexpr std::string_view kOpening = "```wendlebox";
  const std::size_t opening = text.find(kOpening);
  if (opening == std::string_view::npos) return failure("No wendlebox code block");
  const std::size_t body = opening + kOpening.size();
  const std::size_t closing = text.find("```", body);
  if (closing == std::string_view::npos) return failure("Unclosed wendlebox code block");
  // Written content may hold fences of its own (a README with a code block),
  // so the block ends at the first fence that closes a whole reply: the
  // first fence, or else the one right after the JSON object the block
  // starts with. Each is decoded once, so any reply parses in linear time.
  auto reply = decode_reply(trim(text.substr(body, closing - body)));
  if (!reply) {
    const std::size_t end = object_end(text, body);
    std::size_t fence = end;
    while (fence < text.size() && is_json_space(text[fence])) ++fence;
    if (end != std::string_view::npos && fence > closing && text.substr(fence, 3) == "```")
      if (auto whole = decode_reply(text.substr(body, end - body))) reply = std::move(whole);
    if (!reply) return reply;
  }
  if (reply->status != "continue" && reply->status != "done") return failure("status must be done or continue");
  if (reply->actions.size() > kMaxActions) return failure("Too many actions in one turn");
  return reply;
}

}  // namespace wendlebox
