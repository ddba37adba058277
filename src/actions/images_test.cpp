#include "actions/images.h"

#include <gtest/gtest.h>

#include "support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

TEST(Base64, EncodesGroupsWithPadding) {
  EXPECT_EQ(base64_encode("abc"), "YWJj");
  EXPECT_EQ(base64_encode("ab"), "YWI=");
  EXPECT_EQ(base64_encode("a"), "YQ==");
  EXPECT_EQ(base64_encode(""), "");
  EXPECT_EQ(base64_encode(std::string("\xff\xfe\x00", 3)), "//4A");
}

struct ImageCase {
  std::string file_name, content;
  std::string name, mime;  // name "" means `mime` holds the expected error
};

void PrintTo(const ImageCase& c, std::ostream* os) { *os << c.file_name; }

class ImageAttachment : public testing::TestWithParam<ImageCase> {};

const std::string kPng("\x89PNG\r\n\x1a\n", 8);

TEST_P(ImageAttachment, TypesByContentAndSanitisesTheName) {
  TempDir dir;
  const ImageCase& c = GetParam();
  write_text(dir.path / c.file_name, c.content);
  auto image = image_attachment(dir.path / c.file_name, c.content);
  if (c.name.empty()) {
    ASSERT_FALSE(image);
    EXPECT_EQ(image.error().message, c.mime);
  } else {
    ASSERT_TRUE(image) << image.error();
    EXPECT_EQ(image->name, c.name);
    EXPECT_EQ(image->mime, c.mime);
    EXPECT_EQ(image->base64, base64_encode(c.content));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ImageAttachment,
    testing::Values(ImageCase{"diagram.jpeg", kPng, "diagram.png", "image/png"},
                    ImageCase{"Photo 01.final.JPG", kPng + "x", "Photo_01_final.png", "image/png"},
                    ImageCase{"häuser bild.gif", "GIF89a....", "h_user_bild.gif", "image/gif"},
                    ImageCase{"x.bin", "\xff\xd8\xff", "x.jpg", "image/jpeg"},
                    ImageCase{"w.png", "RIFF1234WEBPV", "w.webp", "image/webp"},
                    ImageCase{".hidden", "GIF87a", "_hidden.gif", "image/gif"},
                    ImageCase{std::string(70, 'a') + ".png", kPng, std::string(60, 'a') + ".png", "image/png"},
                    ImageCase{"fake.png", "just text", "", "Not a supported image. Use PNG, JPEG, GIF, or WebP."},
                    ImageCase{"short.png", std::string(kPng, 0, 7), "", "Not a supported image. Use PNG, JPEG, GIF, or WebP."},
                    ImageCase{"empty.png", "", "", "Image is empty or larger than 8 MB"},
                    ImageCase{"exact.png", kPng + std::string(8'000'000 - 8, 'x'), "exact.png", "image/png"},
                    ImageCase{"over.png", kPng + std::string(8'000'001 - 8, 'x'), "", "Image is empty or larger than 8 MB"}));

class Screenshot : public testing::Test {
 protected:
  void SetUp() override {
    env.set("PATH", bin.path.string() + ":/usr/bin:/bin");
    env.set("TMPDIR", tmp.path.string());
    env.unset("WSL_INTEROP");
  }
  TempDir bin, tmp;
  ScopedEnv env;
};

TEST_F(Screenshot, UsesTheFirstToolThatWorksAndLeavesNoFileBehind) {
  if (fs::exists("/usr/bin/grim") || fs::exists("/usr/bin/scrot") || fs::exists("/usr/bin/import") ||
      fs::exists("/usr/bin/gnome-screenshot"))
    GTEST_SKIP() << "a real screenshot tool is installed";
  auto none = screenshot_attachment();
  ASSERT_FALSE(none);
  EXPECT_EQ(none.error().message,
            "Could not capture the desktop. Install grim, gnome-screenshot, scrot, or ImageMagick's import, then retry.");
  write_script(bin.path / "gnome-screenshot", "exit 1");
  write_script(bin.path / "scrot", "printf 'PNGDATA' > \"$1\"");
  auto shot = screenshot_attachment();
  ASSERT_TRUE(shot) << shot.error();
  EXPECT_EQ(shot->name, "wendlebox-screen.png");
  EXPECT_EQ(shot->base64, base64_encode("PNGDATA"));
  EXPECT_TRUE(fs::is_empty(tmp.path));
}

TEST_F(Screenshot, WslRunsTheEncodedScriptAndReportsItsError) {
  env.set("WSL_INTEROP", "");
  write_script(bin.path / "powershell.exe",
               "echo \"$*\" > " + (tmp.path / "args").string() +
                   "\necho 'No desktop display is available.' >&2; exit 1");
  auto shot = screenshot_attachment();
  ASSERT_FALSE(shot);
  EXPECT_EQ(shot.error().message, "Windows screenshot capture failed: No desktop display is available.");
  const std::string args = read_text(tmp.path / "args");
  // "$ErrorActionPreference" in UTF-16LE, then Base64.
  EXPECT_TRUE(args.starts_with("-NoProfile -NonInteractive -EncodedCommand JABFAHIAcgBvAHIAQQBjAHQAaQBvAG4A")) << args;
}

TEST_F(Screenshot, WslTakesTheBase64TextFromStandardOutput) {
  env.set("WSL_INTEROP", "");
  write_script(bin.path / "powershell.exe", "printf '  /9j/4AAQ \\n'");
  auto shot = screenshot_attachment();
  ASSERT_TRUE(shot) << shot.error();
  EXPECT_EQ(shot->name, "wendlebox-screen.jpg");
  EXPECT_EQ(shot->mime, "image/jpeg");
  EXPECT_EQ(shot->base64, "/9j/4AAQ");
}

}  // namespace

}  // namespace wendlebox
