#include "session/undo_and_diff.h"

#include <fmt/format.h>

#include "common/files.h"
#include "common/text.h"
#include "git/undo.h"
#include "i18n/i18n.h"
#include "session/session_state.h"
#include "state/chats.h"

namespace {

constexpr i18n::Text kNothingToUndo{"Nothing to undo: no prompt of this session has been committed yet.",
                                   "Nada a desfazer: nenhum prompt desta sessão foi salvo no Git ainda.",
                                   "Nada que deshacer: ningún prompt de esta sesión se ha guardado en Git todavía."};
constexpr i18n::Text kCannotUndo{"Cannot undo:", "Não foi possível desfazer:", "No se puede deshacer:"};
constexpr i18n::Text kUndone{"The last prompt's changes were undone.", "As alterações do último prompt foram desfeitas.",
                             "Se deshicieron los cambios del último prompt."};
constexpr i18n::Text kLeftAsTheyAre{"Left as they are, as they were changed by someone else too:",
                                    "Mantidos como estão, pois outra pessoa ou programa também os alterou:",
                                    "Se dejaron como están, porque alguien más también los cambió:"};
constexpr i18n::Text kNotPutBack{"Could not be put back as they were:",
                                 "Não foi possível restaurar como estavam:",
                                 "No se pudieron restaurar como estaban:"};
constexpr i18n::Text kCommandsUnwatched{
    "This folder holds too many files to watch what commands changed: only the files that actions named were put back.",
    "Esta pasta tem arquivos demais para acompanhar o que os comandos alteraram: só os arquivos indicados pelas ações "
    "foram restaurados.",
    "Esta carpeta tiene demasiados archivos para seguir lo que cambiaron los comandos: solo se restauraron los "
    "archivos indicados por las acciones."};
constexpr i18n::Text kUndonePrompt{"Undone prompt:", "Prompt desfeito:", "Prompt deshecho:"};
constexpr i18n::Text kMoreToUndo{"{} earlier prompt(s) of this session can still be undone with /undo.",
                                 "{} prompt(s) anterior(es) desta sessão ainda podem ser desfeitos com /undo.",
                                 "{} prompt(s) anterior(es) de esta sesión todavía se pueden deshacer con /undo."};
constexpr i18n::Text kNoMoreToUndo{"No earlier prompt of this session is left to undo.",
                                   "Não resta nenhum prompt anterior desta sessão para desfazer.",
                                   "No queda ningún prompt anterior de esta sesión por deshacer."};
constexpr i18n::Text kAllUndone{"Nothing to undo: every prompt this session committed has been undone.",
                                "Nada a desfazer: todos os prompts que esta sessão salvou no Git foram desfeitos.",
                                "Nada que deshacer: se deshicieron todos los prompts que esta sesión guardó en Git."};
constexpr i18n::Text kNoneLeftToShow{"Every prompt this session committed has been undone.",
                                     "Todos os prompts que esta sessão salvou no Git foram desfeitos.",
                                     "Se deshicieron todos los prompts que esta sesión guardó en Git."};
constexpr i18n::Text kTooFarBack{"Older prompts of this session can no longer be undone: /undo keeps the last {}.",
                                 "Os prompts mais antigos desta sessão não podem mais ser desfeitos: o /undo guarda os "
                                 "últimos {}.",
                                 "Los prompts más antiguos de esta sesión ya no se pueden deshacer: /undo guarda los "
                                 "últimos {}."};
constexpr i18n::Text kNothingToShow{"No prompt of this session has been committed yet.",
                                    "Nenhum prompt desta sessão foi salvo no Git ainda.",
                                    "Ningún prompt de esta sesión se ha guardado en Git todavía."};

// Names of files for one line, relative to the working folder where they
// lie in it; a long list ends with how many more there are.
std::string file_names(const Session& session, const std::vector<fs::path>& paths) {
  constexpr std::size_t kShown = 12;
  std::string names;
  for (std::size_t i = 0; i < paths.size() && i < kShown; ++i) {
    const fs::path relative = paths[i].lexically_relative(session.folder);
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
  if (!session.git_session || session.committed.empty()) {
    if (session.committed.let_go() > 0)
      session.world.out.line("33", fmt::format(fmt::runtime(i18n::tr(kTooFarBack)), session.most_undoable));
    else
      session.world.out.line("33", i18n::tr(session.undone_any ? kAllUndone : kNothingToUndo));
    return;
  }
  const CommittedPrompt& newest = session.committed.newest();
  auto undone = undo_prompt(*session.git_session, newest.commit, newest.watch);
  if (!undone) {
    session.world.out.line("31", fmt::format("{} {}", i18n::tr(kCannotUndo), undone.error()));
    return;
  }
  session.undone = session.undone_any = true;
  session.world.out.line("32", i18n::tr(kUndone));
  session.world.out.line("90", fmt::format("{} {}", i18n::tr(kUndonePrompt), one_line_text(chat_title(newest.prompt))));
  if (!undone->left.empty())
    session.world.out.line("33", fmt::format("{} {}", i18n::tr(kLeftAsTheyAre), file_names(session, undone->left)));
  if (!undone->lost.empty()) {
    // Each with why: what the user may still fetch from elsewhere depends on it.
    std::string lost;
    for (const auto& [path, why] : undone->lost)
      lost += fmt::format("{}{} ({})", lost.empty() ? "" : "; ", file_names(session, {path}), one_line_text(why));
    session.world.out.line("31", fmt::format("{} {}", i18n::tr(kNotPutBack), lost));
  }
  if (!undone->commands_watched) session.world.out.line("33", i18n::tr(kCommandsUnwatched));
  // What this undo put back is as the earlier prompts left it, if they did.
  for (const auto& [path, now] : undone->restored)
    for (std::size_t i = 0; i + 1 < session.committed.size(); ++i)
      session.committed.prompts()[i].watch.carry_restored(path, newest.watch.touched().at(path).before, now);
  session.committed.drop_newest();
  const std::size_t left = session.committed.size();
  if (left > 0)
    session.world.out.line("90", fmt::format(fmt::runtime(i18n::tr(kMoreToUndo)), left));
  else if (session.committed.let_go() > 0)
    session.world.out.line("33", fmt::format(fmt::runtime(i18n::tr(kTooFarBack)), session.most_undoable));
  else
    session.world.out.line("90", i18n::tr(kNoMoreToUndo));
}

void show_last_prompt(const Session& session) {
  if (!session.git_session || session.committed.empty()) {
    session.world.out.line("33", i18n::tr(session.undone_any ? kNoneLeftToShow : kNothingToShow));
    return;
  }
  const CommittedPrompt& newest = session.committed.newest();
  if (auto shown = show_commit(*session.git_session, newest.commit, newest.watch.tree_before()); !shown)
    session.world.out.line("31", shown.error().message);
}
