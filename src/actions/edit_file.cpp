#include "actions/edit_file.h"

#include <fmt/format.h>

#include "actions/file_access.h"
#include "actions/review.h"
#include "common/text.h"
#include "i18n/i18n.h"
#include "actions/messages.h"

namespace wendlebox {

namespace {

using namespace messages::actions;

// A file this much larger than what may be written cannot come back under
// the limit through edits that ChatGPT types.
constexpr std::size_t kMaxEditedFileBytes = 16 * kMaxWriteBytes;

}  // namespace

Result<Json> edit_file_action(const Action& action, ExecutionContext& context) {
  if (!action.path) return failure("Missing path");
  if (!action.edits) return failure("Missing edits");
  if (action.edits->empty()) return failure("No edits given");
  auto read = read_for_change(context, *action.path, kMaxEditedFileBytes + 1);
  if (!read && read.error().kind == ErrorKind::NotFound)
    return failure(ErrorKind::NotFound,
                   read.error().message + "; edit_file changes an existing file, write_file creates one");
  if (!read) return std::unexpected(read.error());
  const std::string* content = &read->content;
  if (content->size() > kMaxEditedFileBytes) return failure("File exceeds 16 MB");
  if (!is_valid_utf8(*content)) return failure("File is not UTF-8 text");
  auto edited = apply_edits(*content, *action.edits);
  if (!edited) return std::unexpected(edited.error());
  if (auto made = make_change(context, *action.path, FileBefore{.text = *content, .seen = read->seen}, edited->text, i18n::tr(kEdited),
                              fmt::format("{} (+{} −{})", one_line_text(*action.path), edited->lines_added,
                                          edited->lines_removed));
      !made)
    return std::unexpected(made.error());
  Json result{{"bytes", edited->text.size()},
              {"edits", action.edits->size()},
              {"lines_added", edited->lines_added},
              {"lines_removed", edited->lines_removed},
              {"path", *action.path}};
  if (const std::string note = tolerance_note(edited->matches); !note.empty()) result["note"] = note;
  return result;
}

}  // namespace wendlebox
