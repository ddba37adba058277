#include "session/folder_claim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <thread>

#include <fmt/format.h>

#include "common/digest.h"
#include "common/folders.h"
#include "git/git.h"
#include "i18n/i18n.h"
#include "state/app_dirs.h"
#include "session/messages.h"

namespace wendlebox {

namespace {

using namespace messages::session;

constexpr std::size_t kMaxClaimBytes = 8192;

// The claim file's name: the digest of the folder the claim is about, the
// repository's top folder when there is one, so every folder inside one
// repository has the same claim.
std::string claim_name(const std::filesystem::path& folder) {
  const std::filesystem::path key = repository_top(folder).value_or(folder);
  return hex_of(sha256_of(key.native()), 16) + ".claim";
}

// The claims folder, open, made the user's alone: claims in a folder other
// users could write would let them block the user's sessions.
Result<UniqueFd> open_claims_folder(const std::filesystem::path& claims) {
  if (auto made = create_dirs(claims, kPrivateFolder); !made) return std::unexpected(made.error());
  UniqueFd dir{::open(claims.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
  if (!dir) return failure(fmt::format("{}: {}", friendly_folder(claims), os_error_text(errno)));
  struct stat info {};
  if (::fstat(dir.get(), &info) != 0) return os_failure();
  if (info.st_uid != ::geteuid())
    return failure(fmt::format("{}: the folder belongs to another user; remove it", friendly_folder(claims)));
  if ((info.st_mode & 077) != 0 && ::fchmod(dir.get(), kPrivateFolder) != 0) return os_failure();
  return dir;
}

// What the holder wrote: its process id, then its working folder (and
// later the port it listens on, running_sessions.h reads it). The
// holder writes it right after taking the lock, so it is waited for a
// little when still empty.
std::pair<std::string, std::string> holder_of(int file) {
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (;;) {
    text.assign(kMaxClaimBytes, '\0');
    const ssize_t got = ::pread(file, text.data(), text.size(), 0);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    if (std::count(text.begin(), text.end(), '\n') >= 2 || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const std::string_view all(text);
  const std::size_t end_pid = all.find('\n');
  const std::string_view pid = all.substr(0, end_pid);
  long number = 0;
  const auto [end, error] = std::from_chars(pid.data(), pid.data() + pid.size(), number);
  const bool known = error == std::errc() && end == pid.data() + pid.size() && number > 0;
  std::string_view folder = end_pid == std::string_view::npos ? std::string_view() : all.substr(end_pid + 1);
  folder = folder.substr(0, folder.find('\n'));
  return {known ? std::to_string(number) : std::string("?"), std::string(folder)};
}

}  // namespace

FolderClaim::~FolderClaim() {
  // Removed while still locked: one that opens the name later makes a new
  // file, and one that opened it before sees, once it has the lock, that
  // the name no longer leads to its file and starts over.
  if (file_) ::unlinkat(dir_.get(), name_.c_str(), 0);
}

Status FolderClaim::record_port(int port) {
  // After the process id and the folder, which the claim's file holds
  // already (the file's offset is past them).
  return write_all(file_.get(), fmt::format("{}\n", port));
}

Result<FolderClaim> claim_folder(const std::filesystem::path& folder, const std::filesystem::path& claims) {
  auto dir = open_claims_folder(claims);
  if (!dir) return std::unexpected(dir.error());
  const std::string name = claim_name(folder);
  for (int attempt = 0; attempt < 16; ++attempt) {
    // Never through a symbolic link, nor into anything but a plain file of
    // the user's: what stands there instead is removed, never followed.
    UniqueFd file{::openat(dir->get(), name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, kPrivateFile)};
    struct stat opened {};
    if (!file || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_uid != ::geteuid()) {
      if (!file && errno != ELOOP) break;
      ::unlinkat(dir->get(), name.c_str(), 0);
      continue;
    }
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) break;
      auto [pid, held] = holder_of(file.get());
      return failure(fmt::format(fmt::runtime(i18n::tr(kTaken)), friendly_folder(held.empty() ? folder : std::filesystem::path(held)), pid));
    }
    struct stat named {};
    if (::fstatat(dir->get(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || named.st_ino != opened.st_ino ||
        named.st_dev != opened.st_dev)
      continue;  // let go of by a session that ended meanwhile: its file is gone
    const std::string content = fmt::format("{}\n{}\n", ::getpid(), folder.native());
    if (::ftruncate(file.get(), 0) != 0) break;
    if (auto written = write_all(file.get(), content); !written) return std::unexpected(written.error());
    return FolderClaim(std::move(*dir), name, std::move(file));
  }
  return failure(fmt::format("{}: {}", friendly_folder(claims / name), os_error_text(errno)));
}

}  // namespace wendlebox
