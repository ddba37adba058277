#include "session/undo_and_diff.h"

#include <fmt/format.h>

#include "common/files.h"
#include "common/text.h"
#include "undo/undo.h"
#include "i18n/i18n.h"
#include "session/session_state.h"
#include "state/chats.h"
#include "session/messages.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

using namespace messages::session;

// Names of files for one line, relative to the working folder where they
// lie in it; a long list ends with how many more there are.
std::string file_names(const Session& session, const std::vector<fs::path>& paths) {
  constexpr std::size_t kShown = 12;
  std::string names;
  for (std::size_t i = 0; i < paths.size() && i < kShown; ++i) {
    const fs::path relative = paths[i].lexically_relative(session.folders.working);
    const bool inside = !relative.empty() && *relative.begin() != "..";
    names += (i ? ", " : "") + one_line_text(lossy_utf8((inside ? relative : paths[i]).native()));
  }
  if (paths.size() > kShown) names += fmt::format(" (+{})", paths.size() - kShown);
  return names;
}

}  // namespace

// /undo and /diff work on the newest prompt still committed, without
// ChatGPT; /undo again goes one prompt further back.
void undo_last_prompt(Session& session) {
  if (!session.undo.git_session || session.undo.committed.empty()) {
    if (session.undo.committed.let_go() > 0)
      session.world.out.line(Colour::warning, fmt::format(fmt::runtime(i18n::tr(kTooFarBack)), session.undo.most_undoable));
    else
      session.world.out.line(Colour::warning, i18n::tr(session.undo.undone_any ? kAllUndone : kNothingToUndo));
    return;
  }
  const CommittedPrompt& newest = session.undo.committed.newest();
  auto undone = undo_prompt(*session.undo.git_session, newest.commit, newest.watch);
  if (!undone) {
    session.world.out.line(Colour::error, fmt::format("{} {}", i18n::tr(kCannotUndo), undone.error()));
    return;
  }
  session.prompts.undone = session.undo.undone_any = true;
  session.world.out.line(Colour::success, i18n::tr(kUndone));
  session.world.out.line(Colour::dim, fmt::format("{} {}", i18n::tr(kUndonePrompt), one_line_text(chat_title(newest.prompt))));
  if (!undone->left.empty())
    session.world.out.line(Colour::warning, fmt::format("{} {}", i18n::tr(kLeftAsTheyAre), file_names(session, undone->left)));
  if (!undone->lost.empty()) {
    // Each with why: what the user may still fetch from elsewhere depends on it.
    std::string lost;
    for (const auto& [path, why] : undone->lost)
      lost += fmt::format("{}{} ({})", lost.empty() ? "" : "; ", file_names(session, {path}), one_line_text(why));
    session.world.out.line(Colour::error, fmt::format("{} {}", i18n::tr(kNotPutBack), lost));
  }
  if (!undone->commands_watched) session.world.out.line(Colour::warning, i18n::tr(kCommandsUnwatched));
  // What this undo put back is as the earlier prompts left it, if they did.
  for (const auto& [path, now] : undone->restored)
    for (std::size_t i = 0; i + 1 < session.undo.committed.size(); ++i)
      session.undo.committed.prompts()[i].watch.carry_restored(path, newest.watch.touched().at(path).before, now);
  session.undo.committed.drop_newest();
  const std::size_t left = session.undo.committed.size();
  if (left > 0)
    session.world.out.line(Colour::dim, fmt::format(fmt::runtime(i18n::tr(kMoreToUndo)), left));
  else if (session.undo.committed.let_go() > 0)
    session.world.out.line(Colour::warning, fmt::format(fmt::runtime(i18n::tr(kTooFarBack)), session.undo.most_undoable));
  else
    session.world.out.line(Colour::dim, i18n::tr(kNoMoreToUndo));
}

void show_last_prompt(const Session& session) {
  if (!session.undo.git_session || session.undo.committed.empty()) {
    session.world.out.line(Colour::warning, i18n::tr(session.undo.undone_any ? kNoneLeftToShow : kNothingToShow));
    return;
  }
  const CommittedPrompt& newest = session.undo.committed.newest();
  if (auto shown = show_commit(*session.undo.git_session, newest.commit, newest.watch.tree_before()); !shown)
    session.world.out.line(Colour::error, shown.error().message);
}

}  // namespace wendlebox
