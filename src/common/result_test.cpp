// A failure's kind is what callers branch on: it must come from what the
// system said, never from how the message happens to be worded.
#include "common/result.h"

#include <gtest/gtest.h>

#include <fmt/format.h>

#include "common/files.h"
#include "support/support.h"

namespace wendlebox {

namespace {

TEST(Failure, TheSystemsFailureGivesItsKindBesideItsWords) {
  const std::pair<int, ErrorKind> cases[] = {
      {ENOENT, ErrorKind::NotFound}, {EEXIST, ErrorKind::Exists},   {EACCES, ErrorKind::Permission},
      {EPERM, ErrorKind::Permission}, {EFBIG, ErrorKind::TooLarge}, {EIO, ErrorKind::General},
  };
  for (const auto& [number, kind] : cases) {
    const Error error = os_failure(number).error();
    EXPECT_EQ(error.kind, kind) << number;
    EXPECT_EQ(error.message, os_error_text(number));
  }
  // Through a real file: a missing one, and a folder in a file's place.
  TempDir dir;
  EXPECT_EQ(read_file(dir.path / "missing").error().kind, ErrorKind::NotFound);
  EXPECT_EQ(read_file(dir.path).error().kind, ErrorKind::General);
}

TEST(Failure, IsWrittenAsItsMessageAndShownInTheUsersLanguageWhenItHasOne) {
  const Error plain = failure(ErrorKind::Declined, "User declined request").error();
  EXPECT_EQ(fmt::format("[{}]", plain), "[User declined request]");
  EXPECT_EQ(plain.shown(), "User declined request");
  const Error told{.message = "Missing command", .in_users_language = "Falta o comando"};
  EXPECT_EQ(fmt::format("{}", told), "Missing command");
  EXPECT_EQ(told.shown(), "Falta o comando");
}

}  // namespace

}  // namespace wendlebox
