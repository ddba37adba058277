#include "undo/kept_copies.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>

#include "common/env.h"

namespace wendlebox {

namespace fs = std::filesystem;

struct KeptStore {
  KeptLimits limits;
  std::size_t memory_used = 0;
  std::optional<fs::path> folder{};
  UniqueFd pack{};  // unlinked: every copy on disk, one after the other
  std::uint64_t pack_end = 0;

  Status open_pack();
};

namespace {

constexpr std::size_t kChunk = 1 << 20;

bool same_file_version(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
         a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

std::unexpected<Error> changed_while_kept() { return failure("it changed while its copy was being kept"); }

std::unexpected<Error> damaged_copy() {
  return failure("its kept copy is damaged (it no longer matches what was kept), so it was not written back");
}

Status pwrite_all(int fd, std::string_view bytes, std::uint64_t offset) {
  while (!bytes.empty()) {
    const ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      return os_failure();
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
    offset += static_cast<std::uint64_t>(n);
  }
  return {};
}

// Up to `size` bytes at `offset`; fewer only at the end of the file.
Result<std::size_t> pread_some(int fd, char* buffer, std::size_t size, std::uint64_t offset) {
  for (;;) {
    const ssize_t n = ::pread(fd, buffer, size, static_cast<off_t>(offset));
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) return os_failure();
  }
}

}  // namespace

Status KeptStore::open_pack() {
  if (pack) return {};
  // A folder of our own (0700, a fresh name) under the temporary folder:
  // no other user can foresee it, plant anything in it or read from it.
  std::string pattern = (fs::path(process_env("TMPDIR").value_or("/tmp")) / "wendlebox-undo-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return os_failure();
  folder = pattern;
  UniqueFd file{::open(pattern.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600)};
  if (!file) {
    // A file system without anonymous files: a named one, unlinked at once.
    std::string name = pattern + "/kept-XXXXXX";
    file = UniqueFd(::mkostemp(name.data(), O_CLOEXEC));
    if (!file) return os_failure();
    ::unlink(name.c_str());
  }
  pack = std::move(file);
  return {};
}

KeptCopy::KeptCopy(std::shared_ptr<KeptStore> store, std::string bytes, Sha256 digest)
    : store_(std::move(store)), bytes_(std::move(bytes)), size_(bytes_.size()), digest_(digest) {
  store_->memory_used += size_;
}

KeptCopy::KeptCopy(std::shared_ptr<KeptStore> store, std::uint64_t offset, std::uint64_t size, Sha256 digest)
    : store_(std::move(store)), on_disk_(true), offset_(offset), size_(size), digest_(digest) {}

KeptCopy::~KeptCopy() {
  if (!on_disk_) {
    store_->memory_used -= size_;
  } else if (size_ > 0) {
    // Its room goes back to the file system; where that cannot be done, the
    // pack keeps it until the session ends.
    (void)::fallocate(store_->pack.get(), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset_),
                static_cast<off_t>(size_));
  }
}

Status KeptCopy::write_to(int dir, const std::string& name, mode_t mode) const {
  if (!on_disk_) {
    if (sha256_of(bytes_) != digest_) return damaged_copy();
    return replace_at(dir, name, bytes_, mode);
  }
  // Streamed from the pack, hashed on the way: the new file takes the old
  // one's place only when every byte matched.
  return replace_at_with(
      dir, name,
      [&](int fd) -> Status {
        Sha256Hasher hasher;
        std::string buffer(kChunk, '\0');
        for (std::uint64_t done = 0; done < size_;) {
          const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size_ - done));
          auto got = pread_some(store_->pack.get(), buffer.data(), wanted, offset_ + done);
          if (!got) return std::unexpected(got.error());
          if (*got == 0) return damaged_copy();
          const std::string_view piece(buffer.data(), *got);
          hasher.add(piece);
          if (auto written = write_all(fd, piece); !written) return written;
          done += *got;
        }
        if (hasher.finish() != digest_) return damaged_copy();
        return {};
      },
      mode);
}

KeptCopies::KeptCopies(KeptLimits limits) : store_(std::make_shared<KeptStore>(KeptStore{.limits = limits})) {}

KeptCopies::~KeptCopies() {
  // The pack was never linked there: the folder is empty and goes now,
  // though copies still held elsewhere stay readable through the pack.
  if (store_->folder) ::rmdir(store_->folder->c_str());
}

std::optional<fs::path> KeptCopies::folder() const { return store_->folder; }

std::size_t KeptCopies::memory_used() const { return store_->memory_used; }

Result<KeptHandle> KeptCopies::keep(int fd) {
  struct stat was;
  if (::fstat(fd, &was) != 0) return os_failure();
  if (!S_ISREG(was.st_mode)) return failure("it is not a regular file");
  const auto size = static_cast<std::uint64_t>(was.st_size);
  KeptStore& store = *store_;
  Sha256Hasher hasher;
  std::optional<std::string> in_memory;
  if (size <= store.limits.memory_file && store.memory_used + size <= store.limits.memory_total) {
    auto bytes = read_fd(fd, static_cast<std::size_t>(size) + 1);
    if (!bytes) return std::unexpected(bytes.error());
    if (bytes->size() != size) return changed_while_kept();
    hasher.add(*bytes);
    in_memory = std::move(*bytes);
  } else {
    if (auto opened = store.open_pack(); !opened) return std::unexpected(opened.error());
    // Never at the cost of the disk: a copy takes at most half the room
    // left (a huge or sparse file is refused before a byte is copied).
    struct statvfs room;
    if (::fstatvfs(store.pack.get(), &room) != 0) return os_failure();
    if (size > static_cast<std::uint64_t>(room.f_bavail) * room.f_frsize / 2)
      return failure("there was not room enough on " + store.folder->parent_path().string() + " to keep a copy of it");
    const std::uint64_t offset = store.pack_end;
    std::string buffer(kChunk, '\0');
    std::uint64_t done = 0;
    for (;;) {
      auto got = pread_some(fd, buffer.data(), kChunk, done);
      if (!got) return std::unexpected(got.error());
      if (*got == 0) break;
      if (done + *got > size) return changed_while_kept();
      const std::string_view piece(buffer.data(), *got);
      hasher.add(piece);
      if (auto written = pwrite_all(store.pack.get(), piece, offset + done); !written)
        return std::unexpected(written.error());
      done += *got;
    }
    if (done != size) return changed_while_kept();
    store.pack_end = offset + size;
  }
  struct stat now;
  if (::fstat(fd, &now) != 0) return os_failure();
  if (!same_file_version(was, now)) return changed_while_kept();
  if (in_memory) return std::make_shared<const KeptCopy>(store_, std::move(*in_memory), hasher.finish());
  return std::make_shared<const KeptCopy>(store_, store.pack_end - size, size, hasher.finish());
}

}  // namespace wendlebox
