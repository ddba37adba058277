// File-system helpers. Local state is written whole through a sibling
// temporary file and a rename, so a reader never sees half a file.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <sys/types.h>

#include "common/result.h"

namespace wendlebox {

// The whole file, or nullopt when it does not exist.
Result<std::optional<std::string>> read_file_if_exists(const std::filesystem::path& path);

Result<std::string> read_file(const std::filesystem::path& path);

// At most `max_bytes` of the file, so a huge file is never loaded whole.
Result<std::string> read_file_prefix(const std::filesystem::path& path, std::size_t max_bytes);

// The program's own state (settings, chat lists, chat logs) is the user's
// alone: its folders and files are created with these modes.
inline constexpr mode_t kPrivateFolder = 0700;
inline constexpr mode_t kPrivateFile = 0600;

// Creates the directory and its missing ancestors with `mode` (before the
// umask); existing ones are left as they are.
Status create_dirs(const std::filesystem::path& dir, mode_t mode = 0777);

// An open file descriptor, closed when its owner goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    reset(std::exchange(other.fd_, -1));
    return *this;
  }
  ~UniqueFd() { reset(); }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void reset(int fd = -1);
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_ = -1;
};

// At most `max_bytes` from an open file.
Result<std::string> read_fd(int fd, std::size_t max_bytes);

// Replaces `name` in the open folder `dir` with a file holding `content`:
// a new temporary file of its own beside it (never a fixed name, so two
// writers cannot share one), synced, then renamed over the target. A
// reader sees the old file or the new one; a hard link to the old file
// keeps the old content. `mode`, when given, is the new file's mode.
// `before_rename`, when given, runs last, right before the rename, and may
// still refuse the replacement (the new file is then removed).
Status replace_at(int dir, const std::string& name, std::string_view content, std::optional<mode_t> mode = {},
                  const std::function<Status()>& before_rename = {});

// As replace_at, the new file's content written by `fill` into it.
Status replace_at_with(int dir, const std::string& name, const std::function<Status(int fd)>& fill,
                       std::optional<mode_t> mode = {}, const std::function<Status()>& before_rename = {});

// A state file: creates its folder (private) and replaces the target whole
// with a private file (see replace_at), then syncs the folder so the rename
// itself survives a crash.
Status write_file_whole(const std::filesystem::path& target, std::string_view content);

// How long a save waits for another program's save of the same file: a
// save takes milliseconds, so a lock held longer belongs to a program that
// is stuck, and the user hears of it rather than waiting forever.
inline constexpr std::chrono::milliseconds kLockWait{10'000};

// An exclusive advisory lock on `<target>.lock`, held while the returned
// handle lives: read-modify-write sequences on a shared state file hold
// it, so two programs at once never lose each other's change. Fails, naming
// the lock file, when another holder keeps it beyond `wait`.
Result<UniqueFd> lock_file(const std::filesystem::path& target, std::chrono::milliseconds wait = kLockWait);

// Appends with one write-all call on a file opened for appending (created
// with `mode` before the umask), so each entry lands in one piece.
Status append_file(const std::filesystem::path& path, std::string_view content, mode_t mode = 0666);

// Writes every byte, retrying short and interrupted writes.
Status write_all(int fd, std::string_view bytes);

// Absolute, symbolic links resolved.
Result<std::filesystem::path> canonical_path(const std::filesystem::path& path);

Result<std::filesystem::path> current_dir();

bool is_dir(const std::filesystem::path& path);

}  // namespace wendlebox
