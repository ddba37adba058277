// What /undo decides before it touches anything, told on tables: what a
// prompt changed, what is there now, and what the plan does with each.
#include "undo/undo_plan.h"

#include <gtest/gtest.h>

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

FileState file(std::uint64_t inode, std::uint64_t size = 10) {
  return FileState{.kind = FileState::Kind::File, .mode = 0644, .size = size, .inode = inode, .modified_ns = 5};
}
FileState folder() { return FileState{.kind = FileState::Kind::Folder, .mode = 0755}; }
FileState link(const std::string& to) { return FileState{.kind = FileState::Kind::Link, .mode = 0777, .link = to}; }

using State = std::optional<FileState>;

struct Change {
  fs::path path;
  State before, after;
  bool shared = false;
  State now = after;  // what a look sees there when /undo runs
};

struct Case {
  const char* name;
  std::vector<Change> changes;
  UndoPlan expected;
};

UndoPlan plan_of(const std::vector<Change>& changes) {
  std::map<fs::path, Touch> touched;
  std::map<fs::path, State> now;
  for (const Change& change : changes) {
    touched[change.path] = Touch{.before = change.before, .after = change.after, .shared = change.shared};
    now[change.path] = change.now;
  }
  return plan_undo(touched, [&](const fs::path& path) { return now.at(path); });
}

class Plan : public testing::TestWithParam<Case> {};

TEST_P(Plan, SaysWhatStaysAndWhatComesBackInOrder) {
  const UndoPlan plan = plan_of(GetParam().changes);
  const UndoPlan& expected = GetParam().expected;
  EXPECT_EQ(plan.left, expected.left);
  EXPECT_EQ(plan.removals, expected.removals);
  EXPECT_EQ(plan.folders_back, expected.folders_back);
  EXPECT_EQ(plan.moves, expected.moves);
  EXPECT_EQ(plan.folders_made, expected.folders_made);
  EXPECT_EQ(plan.files_back, expected.files_back);
}

INSTANTIATE_TEST_SUITE_P(
    Undo, Plan,
    testing::Values(
        Case{"back_as_it_was_is_left_alone", {{"/w/a", file(1), file(1)}}, {}},
        Case{"a_changed_file_is_written_back", {{"/w/a", file(1), file(2)}}, {.files_back = {"/w/a"}}},
        Case{"a_file_made_goes_back_to_nothing",
             {{"/w/new", std::nullopt, file(3)}},
             {.removals = {{.path = "/w/new", .back_to_nothing = true}}}},
        // Someone else's hand: changed beside the prompt, or since it ended
        // (a link planted where the prompt's file was).
        Case{"what_someone_else_changed_too_stays",
             {{"/w/a", file(1), file(2), true}, {"/w/b", file(4), file(5), false, link("/etc/passwd")}},
             {.left = {"/w/a", "/w/b"}}},
        Case{"folders_come_back_from_the_top_and_go_from_the_deepest",
             {{"/w/gone/deeper", folder(), std::nullopt},
              {"/w/gone", folder(), std::nullopt},
              {"/w/made", std::nullopt, folder()},
              {"/w/made/inner", std::nullopt, folder()}},
             {.folders_back = {"/w/gone", "/w/gone/deeper"}, .folders_made = {"/w/made/inner", "/w/made"}}},
        Case{"a_file_where_a_folder_was_goes_first",
             {{"/w/x", folder(), file(6)}},
             {.removals = {{.path = "/w/x", .back_to_nothing = false}}, .folders_back = {"/w/x"}}},
        Case{"a_renamed_file_goes_back_by_name",
             {{"/w/old", file(7), std::nullopt}, {"/w/new", std::nullopt, file(7)}},
             {.moves = {{"/w/new", "/w/old"}}}},
        // The old name taken by another file since: the renamed one stays
        // under its new name rather than being deleted.
        Case{"a_renamed_file_whose_old_name_is_taken_stays",
             {{"/w/old", file(7), std::nullopt, false, file(8)}, {"/w/new", std::nullopt, file(7)}},
             {.left = {"/w/old"}, .moves = {{"/w/new", ""}}}},
        // The same inode with other bytes is no rename: the new file goes,
        // the old one is written back.
        Case{"the_same_inode_with_another_size_is_no_rename",
             {{"/w/old", file(7), std::nullopt}, {"/w/new", std::nullopt, file(7, 99)}},
             {.removals = {{.path = "/w/new", .back_to_nothing = true}}, .files_back = {"/w/old"}}}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace

}  // namespace wendlebox
