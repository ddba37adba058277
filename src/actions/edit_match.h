// Where an edit of `edit_file` applies and what it puts there. ChatGPT's
// "old" is looked for as given, then with differences of white space that
// do not change the file's meaning tolerated, one level after another; an
// edit applies only at the one place its "old" names, never at a guess.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "actions/action.h"
#include "common/result.h"

namespace wendlebox {

// How an edit found its place: as given; once white space at the ends of
// lines (and their line breaks) was ignored; once the whole indentation
// was allowed to differ by the same prefix on every line; or once tabs
// typed as spaces, or spaces as tabs, were compared by their width.
enum class Match { Exact, TrailingSpace, Indentation, TabsAsSpaces };

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

// What ChatGPT should know of the edits that matched only tolerantly;
// empty when every edit matched as given.
std::string tolerance_note(const std::vector<Match>& matches);

}  // namespace wendlebox
