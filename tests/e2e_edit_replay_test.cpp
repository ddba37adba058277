// Real commits replayed through the real binary: the files each recent
// commit of this project changed are laid out as they were before it, and
// a test client playing the extension answers with the commit's hunks as
// edit_file edits, as ChatGPT would; every file must come out exactly as
// committed.
#include <gtest/gtest.h>

#include "support/bridge_client.h"
#include "support/history.h"
#include "support/support.h"

namespace wendlebox {

namespace {

constexpr std::size_t kCommits = 40;
constexpr std::size_t kActionsPerReply = 20;
constexpr std::size_t kReplies = 23;  // the 24th turn says it is done

std::string reply_with(const Json& actions, const std::string& status = "continue") {
  return "Editing.\n```wendlebox\n" + Json{{"status", status}, {"actions", actions}}.dump() + "\n```\n";
}

TEST(EditReplay, RecentCommitsReplayedAsEditsGiveTheCommittedText) {
  std::vector<FileChange> changes;
  for (const std::string& commit : recent_commits(WENDLEBOX_SOURCE_DIR, kCommits))
    for (const FileChange& change : commit_changes(WENDLEBOX_SOURCE_DIR, commit, 2))
      if (changes.size() < kActionsPerReply * kReplies) changes.push_back(unambiguous(WENDLEBOX_SOURCE_DIR, change));
  if (changes.empty()) GTEST_SKIP() << "the sources are not in a Git repository";

  TempDir home, work, bin;
  write_script(bin.path / "xdg-open", "echo \"$1\" >> " + (bin.path / "urls").string());
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": false, \"git\": false}");
  auto place = [](const FileChange& change) { return change.commit.substr(0, 12) + "/" + change.path; };
  for (const FileChange& change : changes) write_text(work.path / place(change), change.before);

  RunningBinary wendlebox(
      BinaryRun{.args = {"replay"}, .cwd = work.path, .home = home.path, .path_prefix = bin.path.string()});
  const std::string url = last_opened_url(bin.path / "urls");
  FakeExtension browser(token_of_url(url), pairing_key_in(home.path));
  // Each job after the first carries the results of the edits before it.
  auto answer = [&](const std::string& reply, bool after_edits) {
    auto job = browser.next_job();
    ASSERT_TRUE(job);
    const std::string prompt = (*job)["prompt"];
    if (after_edits) {
      EXPECT_EQ(prompt.find("\"ok\": false"), std::string::npos) << prompt.substr(0, 4000);
      EXPECT_EQ(prompt.find("\"note\""), std::string::npos) << "an edit matched only tolerantly";
    }
    browser.post_result({{"id", (*job)["id"]}, {"text", reply}});
  };
  for (std::size_t first = 0; first < changes.size(); first += kActionsPerReply) {
    Json actions = Json::array();
    for (std::size_t i = first; i < std::min(changes.size(), first + kActionsPerReply); ++i) {
      Json edits = Json::array();
      for (const Edit& edit : changes[i].edits) edits.push_back(Json{{"old", edit.old_text}, {"new", edit.new_text}});
      actions.push_back(Json{{"type", "edit_file"}, {"path", place(changes[i])}, {"edits", edits}});
    }
    answer(reply_with(actions), first > 0);
  }
  answer(reply_with(Json::array(), "done"), true);
  CommandResult r = wendlebox.finish();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  std::size_t identical = 0;
  for (const FileChange& change : changes) {
    const bool same = read_text(work.path / place(change)) == change.after;
    EXPECT_TRUE(same) << place(change);
    identical += same;
  }
  EXPECT_EQ(identical, changes.size());
}

}  // namespace

}  // namespace wendlebox
