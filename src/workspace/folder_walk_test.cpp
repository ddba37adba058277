// The one folder walk, on real folders: what a rule leaves out, links never
// followed (a loop ends), a FIFO named but never opened, a folder nobody
// may read passed over, and a folder swapped for a link mid-walk not
// looked into.
#include "workspace/folder_walk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

using Order = WalkRules::Order;

// Every entry as "path" with "/" for a folder, "@" for a link, "|" for
// anything else; every entry is asked to be entered, links too.
std::vector<std::string> walked(const fs::path& top, const WalkRules& rules,
                                const std::function<void(const WalkEntry&)>& meanwhile = {}) {
  std::vector<std::string> seen;
  const auto status = walk_folder(UniqueFd{::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)}, rules,
                                  [&](const WalkEntry& entry) {
                                    using Kind = WalkEntry::Kind;
                                    const char* mark = entry.kind == Kind::Folder ? "/"
                                                       : entry.kind == Kind::Link ? "@"
                                                       : entry.kind == Kind::File ? ""
                                                                                  : "|";
                                    seen.push_back(entry.relative + mark);
                                    if (meanwhile) meanwhile(entry);
                                    return WalkStep::Enter;
                                  });
  if (!status) seen.push_back("failed: " + status.error().message);
  return seen;
}

struct Tree : ::testing::Test {
  TempDir dir;
  void SetUp() override {
    fs::create_directories(dir.path / "a");
    write_text(dir.path / "a/x.txt", "x\n");
    write_text(dir.path / "a/skip.me", "s\n");
    fs::create_directory_symlink("..", dir.path / "a/up");  // a loop, were links followed
    fs::create_directory_symlink("a", dir.path / "b");
    ASSERT_EQ(::mkfifo((dir.path / "fifo").c_str(), 0600), 0);  // opening it would hang the walk
  }
};

TEST_F(Tree, EachCallersRulesDecideWhatIsSeenAndInWhichOrder) {
  const auto skip_me = [](const WalkEntry& entry) { return entry.name == "skip.me"; };
  const struct {
    WalkRules rules;
    bool sort_after;  // the order a folder gives its entries in is its own
    std::vector<std::string> seen;
  } cases[] = {
      {{.order = Order::BreadthFirst, .skip = skip_me}, true, {"a/", "a/up@", "a/x.txt", "b@", "fifo|"}},
      {{.order = Order::DepthFirstSorted, .max_depth = 0}, false, {"a/", "b@", "fifo|"}},
      {{.order = Order::DepthFirstSorted}, false, {"a/", "a/skip.me", "a/up@", "a/x.txt", "b@", "fifo|"}},
  };
  for (const auto& [rules, sort_after, expected] : cases) {
    auto seen = walked(dir.path, rules);
    if (sort_after) std::ranges::sort(seen);
    EXPECT_EQ(seen, expected);
  }
}

TEST_F(Tree, AFolderSwappedForALinkDuringTheWalkIsNotLookedInto) {
  TempDir outside;
  fs::create_directories(outside.path / "inner");
  write_text(outside.path / "inner/secret", "s\n");
  fs::create_directories(dir.path / "a/inner");
  // Breadth first, the folder above one put off till later is swapped;
  // depth first, the folder itself, right before it is entered.
  const std::pair<Order, std::string> cases[] = {{Order::BreadthFirst, "a/inner"}, {Order::DepthFirstSorted, "a"}};
  for (const auto& [order, swap_at] : cases) {
    bool swapped = false;
    const auto seen = walked(dir.path, {.order = order}, [&](const WalkEntry& entry) {
      if (entry.relative != swap_at || swapped) return;
      fs::rename(dir.path / "a", dir.path / "a.away");
      fs::create_directory_symlink(swap_at == "a" ? outside.path / "inner" : outside.path, dir.path / "a");
      swapped = true;
    });
    EXPECT_TRUE(swapped);
    for (const auto& entry : seen) EXPECT_EQ(entry.find("secret"), std::string::npos) << entry;
    fs::remove(dir.path / "a");
    fs::rename(dir.path / "a.away", dir.path / "a");
  }
}

TEST_F(Tree, AFolderThatCannotBeReadIsPassedOver) {
  fs::create_directories(dir.path / "locked");
  write_text(dir.path / "locked/inside", "i\n");
  fs::permissions(dir.path / "locked", fs::perms::none);
  const auto walk = [&] {
    const auto seen = walked(dir.path, {.order = Order::DepthFirstSorted});
    const bool named = std::ranges::count(seen, "locked/") == 1;
    const bool inside = std::ranges::count(seen, "locked/inside") == 1;
    return (named ? 0 : 1) | (inside ? 2 : 0) | (seen.back().starts_with("failed") ? 4 : 0);
  };
  int result = 0;
  if (::geteuid() == 0) {
    if (!can_play_other_users()) GTEST_SKIP() << "root reads any folder";
    fs::permissions(dir.path, fs::perms(0755));
    result = as_other_user(walk);
  } else {
    result = walk();
  }
  fs::permissions(dir.path / "locked", fs::perms(0700));
  EXPECT_EQ(result, 0) << "1: not named, 2: read anyway, 4: the whole walk failed";
}

// What is handed over is closed even when it cannot be read as a folder.
TEST(FolderReader, ClosesWhatItWasGivenWhenItCannotReadIt) {
  TempDir dir;
  write_text(dir.path / "file", "f\n");
  const int fd = ::open((dir.path / "file").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_FALSE(FolderReader::open(UniqueFd{fd}));
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
  EXPECT_EQ(errno, EBADF);
}

}  // namespace

}  // namespace wendlebox
