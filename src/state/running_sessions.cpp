#include "state/running_sessions.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <sstream>

#include "common/files.h"
#include "state/app_dirs.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxClaimBytes = 8192;

template <class Number>
bool read_number(std::string_view text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

// The whole-file locks (flock) held now, each as the inode of its file and
// the process that took it; nullopt when the system does not say. (The
// device is not compared: some file systems list another number for it
// than stat gives; inode and process together leave no doubt.)
std::optional<std::vector<std::pair<unsigned long long, long>>> flocked_files(const fs::path& locks) {
  auto text = read_file(locks);
  if (!text) return std::nullopt;
  std::vector<std::pair<unsigned long long, long>> held;
  std::istringstream lines(*text);
  // "1: FLOCK  ADVISORY  WRITE 4242 08:01:1234 0 EOF"; a waiter's line has
  // "->" after the number and is not a holder.
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string number, kind, mode, access, pid, file;
    if (!(words >> number >> kind >> mode >> access >> pid >> file) || kind != "FLOCK") continue;
    const std::size_t last = file.rfind(':');
    unsigned long long inode = 0;
    long holder = 0;
    if (last == std::string::npos || !read_number(std::string_view(file).substr(last + 1), inode) ||
        !read_number(pid, holder))
      continue;
    held.push_back({inode, holder});
  }
  return held;
}

std::optional<RunningSession> read_claim(const fs::path& file) {
  UniqueFd opened{::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
  if (!opened) return std::nullopt;
  auto text = read_fd(opened.get(), kMaxClaimBytes);
  if (!text) return std::nullopt;
  std::vector<std::string_view> lines;
  for (std::string_view rest = *text; !rest.empty();) {
    const std::size_t end = rest.find('\n');
    if (end == std::string_view::npos) break;  // a line still being written
    lines.push_back(rest.substr(0, end));
    rest.remove_prefix(end + 1);
  }
  RunningSession session;
  if (lines.size() < 2 || !read_number(lines[0], session.pid) || session.pid <= 0 || lines[1].empty())
    return std::nullopt;
  session.folder = std::string(lines[1]);
  int port = 0;
  if (lines.size() >= 3 && read_number(lines[2], port) && port > 0 && port < 65536) session.port = port;
  return session;
}

}  // namespace

fs::path claims_folder() { return app_dir() / "sessions"; }

std::vector<RunningSession> running_sessions(const fs::path& claims, const fs::path& locks) {
  std::vector<RunningSession> running;
  std::error_code error;
  fs::directory_iterator entries(claims, error);
  if (error) return running;
  const auto held = flocked_files(locks);
  for (const fs::directory_entry& entry : entries) {
    if (entry.path().extension() != ".claim") continue;
    struct stat info {};
    if (::lstat(entry.path().c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) continue;
    std::optional<RunningSession> session = read_claim(entry.path());
    if (!session) continue;
    // Live while its lock is held; where the system lists no locks, while
    // its process is there.
    bool live = false;
    if (held) {
      live = std::ranges::any_of(*held, [&](const auto& lock) {
        return lock.first == static_cast<unsigned long long>(info.st_ino) && lock.second == session->pid;
      });
    } else {
      live = ::kill(static_cast<pid_t>(session->pid), 0) == 0 || errno == EPERM;
    }
    if (live) running.push_back(std::move(*session));
  }
  std::ranges::sort(running, {}, &RunningSession::folder);
  return running;
}

}  // namespace wendlebox
