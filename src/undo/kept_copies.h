// The copies of files kept for /undo: the bytes a file had before the
// prompt's first change of it, whatever its size and whether Git ignores
// it or not. Copies live in memory up to a budget; the rest go to one file
// in a private folder of their own (0700, made with a name no other user
// can foresee), a file that is unlinked as soon as it is made, so that
// nothing of it outlives the program, even a crash. Each copy carries the
// SHA-256 of its bytes, taken as they were kept: a copy that no longer
// matches is never written back.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "common/digest.h"
#include "common/files.h"
#include "common/result.h"

namespace wendlebox {

struct KeptLimits {
  std::size_t memory_file = 4'000'000;    // a bigger file goes to disk
  std::size_t memory_total = 64'000'000;  // once the copies in memory hold this much, to disk too
};

struct KeptStore;

// One file's bytes as they were kept. Its memory (or its room on disk) is
// given back when the last holder lets it go.
class KeptCopy {
 public:
  KeptCopy(std::shared_ptr<KeptStore> store, std::string bytes, Sha256 digest);
  KeptCopy(std::shared_ptr<KeptStore> store, std::uint64_t offset, std::uint64_t size, Sha256 digest);
  ~KeptCopy();
  KeptCopy(const KeptCopy&) = delete;
  KeptCopy& operator=(const KeptCopy&) = delete;

  std::uint64_t size() const { return size_; }
  bool on_disk() const { return on_disk_; }
  // Writes the bytes as `name` in the open folder `dir`, with `mode`,
  // through a new file renamed over it: only when they still hash as they
  // did when kept; otherwise nothing is written and the failure says so.
  Status write_to(int dir, const std::string& name, mode_t mode) const;

 private:
  std::shared_ptr<KeptStore> store_;
  std::string bytes_{};
  bool on_disk_ = false;
  std::uint64_t offset_ = 0;
  std::uint64_t size_ = 0;
  Sha256 digest_{};
};

using KeptHandle = std::shared_ptr<const KeptCopy>;

// The session's copies: made here, each then held by what needs it.
class KeptCopies {
 public:
  explicit KeptCopies(KeptLimits limits = {});
  ~KeptCopies();  // the private folder goes
  KeptCopies(const KeptCopies&) = delete;
  KeptCopies& operator=(const KeptCopies&) = delete;

  // Keeps the bytes of the regular file open as `fd`, from its start; fails
  // with why (a file-system error, a file that changed while it was read).
  Result<KeptHandle> keep(int fd);

  // The private folder, once a copy needed the disk.
  std::optional<std::filesystem::path> folder() const;
  std::size_t memory_used() const;

 private:
  std::shared_ptr<KeptStore> store_;
};

}  // namespace wendlebox
