// Which names stay out of reach, compared as the folder's file system
// compares them.
#include "workspace/out_of_reach.h"

#include <fcntl.h>
#include <sys/vfs.h>
#include <linux/magic.h>

#include <gtest/gtest.h>

#include "common/files.h"
#include "support/support.h"

namespace wendlebox {

namespace {

TEST(ProtectedNames, AreComparedAsTheFolderComparesNames) {
  EXPECT_EQ(protected_name(".git", false), ".git");
  EXPECT_EQ(protected_name(".GIT", false), std::nullopt);
  EXPECT_EQ(protected_name(".GIT", true), ".git");
  EXPECT_EQ(protected_name(".WendleBox", true), ".wendlebox");
  EXPECT_EQ(protected_name(".g\u200cit", true), ".git");  // a zero-width non-joiner some file systems skip
  EXPECT_EQ(protected_name(".gitx", true), std::nullopt);
  EXPECT_EQ(protected_name(".git. .", true), ".git");  // FAT and Windows drop trailing dots and spaces
  EXPECT_EQ(protected_name(".git.", false), std::nullopt);
  TempDir dir;
  struct statfs mounted;
  ASSERT_EQ(::statfs(dir.path.c_str(), &mounted), 0);
  if (mounted.f_type != EXT4_SUPER_MAGIC) GTEST_SKIP() << "the temporary folder is not on ext4";
  UniqueFd folder{::open(dir.path.c_str(), O_PATH | O_DIRECTORY)};
  EXPECT_FALSE(folder_folds_case(folder.get()));  // a plain ext4 folder tells case apart
}

}  // namespace

}  // namespace wendlebox
