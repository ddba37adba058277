#include "state/allowed.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

TEST(FolderText, KeyDropsTrailingSlashesAndFriendlyDropsWindowsPrefixes) {
  EXPECT_EQ(folder_key("/a/b/"), "/a/b");
  EXPECT_EQ(folder_key("/a/b//"), "/a/b");
  EXPECT_EQ(folder_key("/"), "");
  EXPECT_EQ(folder_key("/a/./b"), "/a/./b");
  EXPECT_EQ(friendly_folder(R"(\\?\UNC\server\share\x)"), R"(\\server\share\x)");
  EXPECT_EQ(friendly_folder(R"(\\?\C:\work)"), R"(C:\work)");
  EXPECT_EQ(friendly_folder("/home/u"), "/home/u");
}

class AllowListCommands : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root.path / "home/u/app");
    fs::create_directories(root.path / "home/u/shared");
    fs::create_directory_symlink(root.path / "home/u/shared", root.path / "home/u/link");
  }
  CommandResult wendlebox(std::vector<std::string> args) {
    return run_binary({.args = std::move(args), .cwd = root.path / "home/u/app", .home = root.path / "home/u"});
  }
  std::string file() const { return read_text(root.path / "home/u/.config/wendlebox/allowed-folders.json"); }
  std::string shared() const { return (root.path / "home/u/shared").string(); }
  TempDir root;
};

TEST_F(AllowListCommands, AddStoresTheCanonicalFolderOnce) {
  CommandResult r = wendlebox({"--add-folder", "../shared"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "Allowed file access: " + shared() + "\n");
  const std::string stored = "{\n  \"folders\": [\n    \"" + shared() + "\"\n  ]\n}";
  EXPECT_EQ(file(), stored);
  for (const std::string& again : {std::string("../shared/"), shared(), std::string("../link")}) {
    r = wendlebox({"--add-folder", again});
    EXPECT_EQ(r.out, "Already allowed: " + shared() + "\n") << again;
    EXPECT_EQ(file(), stored);
  }
}

TEST_F(AllowListCommands, ConcurrentAdditionsAreAllKept) {
  std::vector<std::thread> runs;
  for (int i = 0; i < 8; ++i) {
    fs::create_directories(root.path / "home/u" / ("f" + std::to_string(i)));
    runs.emplace_back([this, i] { EXPECT_EQ(wendlebox({"--add-folder", "../f" + std::to_string(i)}).exit_code, 0); });
  }
  for (std::thread& run : runs) run.join();
  CommandResult listed = wendlebox({"--list-folders"});
  EXPECT_EQ(listed.exit_code, 0) << listed.err;  // the file is whole and valid
  for (int i = 0; i < 8; ++i)
    EXPECT_NE(listed.out.find((root.path / "home/u" / ("f" + std::to_string(i))).string() + "\n"), std::string::npos);
}

TEST_F(AllowListCommands, AddRefusesFilesAndMissingFolders) {
  write_text(root.path / "home/u/app/notes.txt", "x");
  CommandResult r = wendlebox({"--add-folder", "notes.txt"});
  EXPECT_EQ(r.err, "Wendlebox: Not a folder: " + (root.path / "home/u/app/notes.txt").string() + "\n");
  r = wendlebox({"--add-folder", "missing"});
  EXPECT_EQ(r.err, "Wendlebox: Folder is unavailable: " + (root.path / "home/u/app/missing").string() +
                       ": No such file or directory\n");
  EXPECT_FALSE(fs::exists(root.path / "home/u/.config/wendlebox/allowed-folders.json"));
}

// The root, the home folder and what holds it are said for what they are:
// asked at a terminal, refused without one unless --yes.
TEST_F(AllowListCommands, WideFoldersAreConfirmed) {
  const std::string home = (root.path / "home/u").string();
  for (const std::string& wide : {std::string("/"), std::string(".."), (root.path / "home").string()}) {
    CommandResult r = wendlebox({"--add-folder", wide});
    EXPECT_EQ(r.exit_code, 1) << wide;
    EXPECT_NE(r.err.find("There is no terminal to ask at: run wendlebox --add-folder "), std::string::npos) << r.err;
  }
  EXPECT_EQ(wendlebox({"--add-folder", ".."}).err,
            "Wendlebox: Allowing " + home + " gives ChatGPT's actions your whole home folder: documents, SSH keys, "
            "browser profiles and settings. There is no terminal to ask at: run wendlebox --add-folder " + home +
            " --yes to allow it.\n");
  EXPECT_FALSE(fs::exists(root.path / "home/u/.config/wendlebox/allowed-folders.json"));
  const auto at_terminal = [&](const std::string& answer) {
    RunningBinary run({.args = {"--add-folder", "/"}, .cwd = root.path / "home/u/app", .home = root.path / "home/u",
                       .terminal = true});
    EXPECT_TRUE(wait_until([&] { return run.output_so_far().find("[y/N] ") != std::string::npos; })) << run.output_so_far();
    run.send_input(answer + "\n");
    return run.finish();
  };
  CommandResult declined = at_terminal("n");
  EXPECT_NE(declined.out.find("Allowing / gives ChatGPT's actions every file on this machine that you can read or "
                              "change, your home folder included. Allow it?"), std::string::npos) << declined.out;
  EXPECT_NE(declined.out.find("Wendlebox: Not allowed: /"), std::string::npos) << declined.out;
  EXPECT_FALSE(fs::exists(root.path / "home/u/.config/wendlebox/allowed-folders.json"));
  EXPECT_EQ(at_terminal("y").exit_code, 0);
  CommandResult forced = wendlebox({"--add-folder", "..", "--yes"});
  EXPECT_EQ(forced.out, "Allowed file access: " + home + "\n") << forced.err;
  EXPECT_EQ(file(), "{\n  \"folders\": [\n    \"/\",\n    \"" + home + "\"\n  ]\n}");
}

TEST_F(AllowListCommands, RemoveWorksForDeletedFoldersAndEchoesTheArgument) {
  ASSERT_EQ(wendlebox({"--add-folder", "../shared"}).exit_code, 0);
  fs::remove(root.path / "home/u/link");
  fs::remove_all(root.path / "home/u/shared");
  CommandResult r = wendlebox({"--remove-folder", shared() + "/"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "Removed from allow list: " + shared() + "/\n");
  EXPECT_EQ(file(), "{\n  \"folders\": []\n}");
  r = wendlebox({"--remove-folder", "../shared"});
  EXPECT_EQ(r.err, "Wendlebox: Folder is not on the allow list: ../shared\n");
}

TEST_F(AllowListCommands, ListShowsFoldersOrTheEmptyNotice) {
  const std::string none = "No extra folders allowed. The working folder is always available.\n";
  EXPECT_EQ(wendlebox({"--list-folders"}).out, none);
  write_text(root.path / "home/u/.config/wendlebox/allowed-folders.json", "{\"folders\": []}");
  EXPECT_EQ(wendlebox({"--list-folders"}).out, none);
  write_text(root.path / "home/u/.config/wendlebox/allowed-folders.json", "{\"folders\": [\"/b\", \"/a\"], \"x\": 1}");
  EXPECT_EQ(wendlebox({"--list-folders"}).out, "/b\n/a\n");
}

TEST_F(AllowListCommands, MalformedFileFailsEveryCommandAndIsKept) {
  const fs::path path = root.path / "home/u/.config/wendlebox/allowed-folders.json";
  write_text(path, "{\"dirs\": []}");
  for (std::vector<std::string> args : {std::vector<std::string>{"--list-folders"},
                                        {"--add-folder", "../shared"}, {"--remove-folder", "x"}}) {
    CommandResult r = wendlebox(args);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "Wendlebox: Could not read allowed folders from " + path.string() +
                         ": missing field `folders` at line 1 column 12. Fix the file, or move it away to start again "
                         "from the defaults.\n");
  }
  EXPECT_EQ(read_text(path), "{\"dirs\": []}");
}

}  // namespace

}  // namespace wendlebox
