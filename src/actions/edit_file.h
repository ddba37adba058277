// Changes to an existing file given as search/replace edits, so that
// ChatGPT sends what changes instead of retyping the whole file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "actions/action.h"
#include "actions/executor.h"

// How an edit found its place: as given, or only once differences that
// do not matter to the file's meaning were tolerated.
enum class Match { Exact, TrailingSpace, Indentation };

struct EditedText {
  std::string text;
  std::vector<Match> matches;  // one per edit, in order
  std::size_t lines_added = 0;
  std::size_t lines_removed = 0;
};

// `edits` applied in order to `text`, each to the result of those before
// it; the first that cannot apply fails them all, its message naming it
// ("Edit 2 of 3: …") and saying how to correct it.
Result<EditedText> apply_edits(std::string_view text, const std::vector<Edit>& edits);

Result<Json> edit_file_action(const Action& action, ExecutionContext& context);
