#include "workspace/safe_path.h"

#include <gtest/gtest.h>

#include "support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

class SafePath : public testing::Test {
 protected:
  void SetUp() override {
    w = dir.path / "w";
    fs::create_directories(w / "sub");
    fs::create_directories(dir.path / "a/proj");
    fs::create_directories(dir.path / "a/project");
    fs::create_directories(dir.path / "outside");
    write_text(w / "a.txt", "x");
    fs::create_directory_symlink(dir.path / "outside", w / "link");
    fs::create_symlink(dir.path / "outside/secret", w / "dead");
    fs::create_symlink(dir.path / "outside/file", w / "leak");
    write_text(dir.path / "outside/file", "secret");
    roots = {w, dir.path / "a/proj"};
  }
  std::string check(const std::string& requested, bool create = false) {
    auto result = safe_path(w, roots, requested, create);
    return result ? "ok:" + result->path.string() : "error:" + result.error().message;
  }
  TempDir dir;
  fs::path w;
  std::vector<fs::path> roots;
};

TEST_F(SafePath, Table) {
  const std::string outside = "error:Path is outside the working and allowed folders";
  const std::pair<std::string, std::string> cases[] = {
      {"notes/plan.txt", "ok:" + (w / "notes/plan.txt").string()},
      {"./a.txt", "ok:" + w.string() + "/./a.txt"},
      {".", "ok:" + w.string() + "/."},
      {"../secret", "error:Path cannot contain '..'"},
      {"sub/../a.txt", "error:Path cannot contain '..'"},
      {w.string() + "/../w/a.txt", "error:Path cannot contain '..'"},
      {"/etc/passwd", outside},
      {w.string() + "/a.txt", "ok:" + w.string() + "/a.txt"},
      {(dir.path / "a/proj/x").string(), "ok:" + (dir.path / "a/proj/x").string()},
      {(dir.path / "a/project/x").string(), outside},
      {"link", outside},
      {"link/file", outside},
      {"leak", outside},
      {"dead", "error:No such file or directory"},
      {"dead/x", "error:No such file or directory"},
      {"sub//deep/", "ok:" + w.string() + "/sub//deep/"},
  };
  for (const auto& [requested, expected] : cases) EXPECT_EQ(check(requested), expected) << requested;
  EXPECT_FALSE(fs::exists(w / "notes"));
}

TEST_F(SafePath, CreatesParentsOnlyWhenAskedAndOnlyInsideARoot) {
  EXPECT_EQ(check("new/dir/f.txt", true), "ok:" + (w / "new/dir/f.txt").string());
  EXPECT_TRUE(fs::is_directory(w / "new/dir"));
  EXPECT_EQ(check("link/made/f.txt", true), "error:Path is outside the working and allowed folders");
  EXPECT_FALSE(fs::exists(dir.path / "outside/made"));
  EXPECT_EQ(check("a.txt/f.txt", true), "error:Not a directory");
}

TEST(RootList, KeepsOnlyUsableDistinctFolders) {
  TempDir dir;
  const fs::path w = dir.path / "w";
  for (const char* d : {"w", "x", "y"}) fs::create_directories(dir.path / d);
  write_text(dir.path / "file", "");
  fs::create_directory_symlink(dir.path / "y", dir.path / "ylink");
  const std::vector<std::string> stored{w.string() + "/",        (dir.path / "x").string(),
                                        (dir.path / "x").string(), (dir.path / "missing").string(),
                                        (dir.path / "file").string(), (dir.path / "ylink").string()};
  EXPECT_EQ(root_list(w, stored), (std::vector<fs::path>{w, dir.path / "x"}));
}

}  // namespace

}  // namespace wendlebox
