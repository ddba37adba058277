#include "bridge/pairing.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/files.h"
#include "process/process.h"
#include "support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

TEST(PairingKey, IsMadeOncePrivateAndAFreshOneReplacesADamagedFile) {
  TempDir data;
  ScopedEnv env;
  env.set("XDG_DATA_HOME", data.path.string());
  auto first = pairing_key();
  ASSERT_TRUE(first) << first.error();
  EXPECT_EQ(first->size(), 64u);
  EXPECT_EQ(first->find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_EQ(*pairing_key(), *first);
  struct stat file{};
  ASSERT_EQ(::stat(pairing_key_file().c_str(), &file), 0);
  EXPECT_EQ(file.st_mode & 0777, 0600u);
  write_text(pairing_key_file(), "damaged\n");
  auto fresh = pairing_key();
  ASSERT_TRUE(fresh);
  EXPECT_NE(*fresh, *first);
  EXPECT_EQ(read_text(pairing_key_file()), *fresh);
}

// Firefox installs the package whole: the pairing file goes into the zip,
// which a zip reader still reads whole (CRCs and directory included).
TEST(PairedPackage, AddsThePairingFileToTheFirefoxPackage) {
  TempDir folder;
  std::optional<fs::path> package;
  for (const auto& entry : fs::directory_iterator(fs::path(binary_path()).parent_path()))
    if (entry.path().extension() == ".xpi") package = entry.path();
  ASSERT_TRUE(package) << "the build has no .xpi";
  const std::string key(64, 'c');
  auto paired = paired_package(*read_file(*package), key);
  ASSERT_TRUE(paired) << paired.error();
  write_text(folder.path / "paired.xpi", *paired);
  auto unpacked = run_process(ProcessSpec{.argv = {"cmake", "-E", "tar", "xf", "paired.xpi"}, .cwd = folder.path});
  ASSERT_TRUE(unpacked && unpacked->status.success());
  EXPECT_EQ(read_text(folder.path / "pairing.json"), extension_pairing(key));
  EXPECT_EQ(read_text(folder.path / "manifest.json"),
            read_text(package->parent_path() / "extension-firefox" / "manifest.json"));
  EXPECT_FALSE(paired_package(paired->substr(0, paired->size() - 1), key));
}

}  // namespace

}  // namespace wendlebox
