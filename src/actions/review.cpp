#include "actions/review.h"

#include <fmt/format.h>

#include "actions/change_view.h"
#include "actions/confirm.h"
#include "actions/file_access.h"
#include "workspace/safe_path.h"
#include "common/text.h"
#include "i18n/i18n.h"
#include "actions/messages.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

using namespace messages::actions;

// `for_review`: every changed line whole, or false when the change is too
// long for that (the user is then not asked).
bool show(const Printer& out, const FileBefore& before, std::string_view after, bool for_review = false) {
  if (!before.known) {
    out.line(Colour::dim, i18n::tr(kNotShown));
    // What replaces it can still be read, and must be before it is approved.
    return !for_review || show_change_for_review(out, std::nullopt, after);
  }
  const auto text = before.text ? std::optional<std::string_view>(*before.text) : std::nullopt;
  if (for_review) return show_change_for_review(out, text, after);
  show_change(out, text, after);
  return true;
}

// The user's answer: allowed, or the refusal ChatGPT is told of.
Status ask_to_apply(ExecutionContext& context) {
  auto answer = read_answer(context.out, context.out.paint(Colour::question, i18n::tr(kApplyQuestion)) + " [y/N/a] ");
  if (!answer) return std::unexpected(answer.error());
  const std::string word = ascii_lower(answer->substr(0, answer->find_first_of(" \t")));
  const std::string_view rest = trim(std::string_view(*answer).substr(word.size()));
  if ((word == "y" || word == "yes") && rest.empty()) return {};
  if ((word == "a" || word == "all") && rest.empty()) {
    if (context.edits_approved) *context.edits_approved = true;
    context.out.line(Colour::warning, i18n::tr(kAllApplied));
    return {};
  }
  std::string refusal = "User declined the change; the file was not changed.";
  if ((word == "n" || word == "no") && !rest.empty()) refusal += fmt::format(" Their reason: {}", rest);
  return failure(ErrorKind::Declined, refusal);
}

}  // namespace

FileBefore file_before_write(const ExecutionContext& context, const std::string& requested) {
  auto path = safe_path(context.base, context.roots, requested, false);
  if (!path) return {.known = false};
  if (!path->target) return {};
  auto file = open_regular_file(*path);
  if (!file) return {.known = false};
  auto text = read_fd(file->get(), kMaxWriteBytes + 1);
  if (!text || text->size() > kMaxWriteBytes) return {.known = false};
  auto seen = file_seen(file->get(), *text);
  if (!seen) return {.known = false};
  return {.text = std::move(*text), .seen = *seen};
}

Status make_change(ExecutionContext& context, const std::string& requested, const FileBefore& before,
                   std::string_view after, std::string_view label, std::string_view detail) {
  bool review = context.review_edits && !(context.edits_approved && *context.edits_approved);
  if (review) {
    // A change the write refuses anyway is not worth the user's question.
    auto where = safe_path(context.base, context.roots, requested, false);
    if (!where) return std::unexpected(where.error());
    review = after.size() <= kMaxWriteBytes && !where->protected_folder;
  }
  if (review) {
    progress(context.out, i18n::tr(kChangeTo), one_line_text(requested));
    // The user approves only what they could read.
    if (!show(context.out, before, after, true))
      return failure(fmt::format("The change is too long for the user to review (over {} changed lines or a line over {} "
                                 "characters); nothing was written. Make it in smaller changes.",
                                 kReviewedChangedLines, kLongestReviewedLine));
    auto allowed = ask_to_apply(context);
    // While asked, the user may have worked on other files: that is theirs,
    // not this action's, so the watch for /undo looks again from here.
    if (context.watch) {
      auto named = safe_path(context.base, context.roots, requested, false);
      context.watch->unwatched();
      context.watch->before(named ? std::optional<fs::path>(named->resolved) : std::nullopt);
    }
    if (!allowed) return allowed;
    // The user may have taken a while: what they approved was the change
    // to the file as it was then.
    const FileBefore now = file_before_write(context, requested);
    if (now.known != before.known || now.text != before.text)
      return failure("The file changed while the user reviewed this change; nothing was written. Read it again.");
  }
  if (auto written = write_confined(context, requested, after, before.seen); !written) return written;
  progress(context.out, label, detail);
  if (!review) show(context.out, before, after);
  return {};
}

}  // namespace wendlebox
