#include "process/process_keeper.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace wendlebox {

// The keeper runs in a forked copy of this (threaded) program, where only
// async-signal-safe calls are sound: everything below that runs in it uses
// system calls on memory prepared before the fork, and never allocates.
namespace {

enum class ReportKind : int { Started, Failed, Exited };
struct Report {
  ReportKind kind;
  int value;  // the command's pid, the error number, or its raw wait status
};

// What the command left gets this long to end on SIGTERM before SIGKILL,
// and the keeper gives up on what even SIGKILL does not end after more.
constexpr long long kGraceMs = 2000;
constexpr long long kGiveUpMs = 3000;
constexpr std::size_t kMaxChildren = 4096;

struct KeeperPlan {
  char* const* argv;
  char* const* envp;  // nullptr: this process's environment
  const char* cwd;  // nullptr: the program's own
  InputMode input;
  OutputMode output, errors;
  int output_fd, errors_fd, report_fd;
  pid_t program;  // this program, whose death ends what the keeper keeps
};

long long now_ms() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000LL + now.tv_nsec / 1'000'000;
}

void report(int& fd, ReportKind kind, int value) {
  if (fd < 0) return;
  const Report message{kind, value};
  while (::write(fd, &message, sizeof message) < 0 && errno == EINTR) {
  }
}

// Closes every descriptor from 3 on but `keep` (ascending, -1s first), so
// that the keeper holds none of the program's sockets, locks or pipes.
void close_all_but(std::array<int, 3> keep) {
  std::sort(keep.begin(), keep.end());
  unsigned first = 3;
  for (const int fd : keep) {
    if (fd < static_cast<int>(first)) continue;
    if (static_cast<unsigned>(fd) > first) ::syscall(SYS_close_range, first, static_cast<unsigned>(fd) - 1, 0);
    first = static_cast<unsigned>(fd) + 1;
  }
  if (::syscall(SYS_close_range, first, ~0U, 0) != 0) {
    rlimit limit{};
    const rlim_t top = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? std::min<rlim_t>(limit.rlim_cur, 1 << 20) : 1024;
    for (unsigned fd = first; fd < top; ++fd) ::close(static_cast<int>(fd));
  }
}

void route(int target, OutputMode mode, int pipe_end) {
  if (mode == OutputMode::Capture && pipe_end >= 0) ::dup2(pipe_end, target);
  if (mode == OutputMode::Discard || (mode == OutputMode::Capture && pipe_end < 0)) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) ::dup2(null, target), ::close(null);
  }
}

[[noreturn]] void exec_command(const KeeperPlan& plan, int failed) {
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::signal(SIGPIPE, SIG_DFL);
  if (plan.input == InputMode::Null) {
    const int null = ::open("/dev/null", O_RDONLY);
    if (null >= 0) ::dup2(null, 0), ::close(null);
  }
  route(1, plan.output, plan.output_fd);
  route(2, plan.errors, plan.errors_fd);
  if (plan.output_fd >= 0) ::close(plan.output_fd);
  if (plan.errors_fd >= 0) ::close(plan.errors_fd);
  if (plan.cwd == nullptr || ::chdir(plan.cwd) == 0) {
    if (plan.envp != nullptr) ::execvpe(plan.argv[0], plan.argv, plan.envp);
    else ::execvp(plan.argv[0], plan.argv);
  }
  const int error = errno;
  while (::write(failed, &error, sizeof error) < 0 && errno == EINTR) {
  }
  ::_exit(127);
}

// The pid in a /proc entry's name, or 0.
pid_t pid_named(const char* name) {
  pid_t pid = 0;
  for (const char* c = name; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9' || pid > 10'000'000) return 0;
    pid = pid * 10 + (*c - '0');
  }
  return pid;
}

// The parent of the live process `name` (a /proc entry), or 0.
pid_t parent_of(int proc, const char* name) {
  char path[64];
  const std::size_t length = std::strlen(name);
  if (length + sizeof "/stat" > sizeof path) return 0;
  std::memcpy(path, name, length);
  std::memcpy(path + length, "/stat", sizeof "/stat");
  const int stat = ::openat(proc, path, O_RDONLY | O_CLOEXEC);
  if (stat < 0) return 0;
  char text[512];
  const ssize_t n = ::read(stat, text, sizeof text - 1);
  ::close(stat);
  if (n <= 0) return 0;
  // "pid (command) state ppid ...": the command may hold anything, so the
  // last ")" ends it.
  const char* close = nullptr;
  for (ssize_t i = 0; i < n; ++i)
    if (text[i] == ')') close = text + i;
  if (close == nullptr || close + 4 >= text + n || close[2] == 'Z') return 0;
  pid_t parent = 0;
  for (const char* c = close + 4; c < text + n && *c >= '0' && *c <= '9'; ++c) parent = parent * 10 + (*c - '0');
  return parent;
}

// The keeper's live children, found in /proc: the command, what it left
// running, and whatever was orphaned below it since.
std::size_t list_children(pid_t self, pid_t* children, std::size_t max) {
  const int proc = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (proc < 0) return 0;
  std::size_t found = 0;
  alignas(dirent64) char entries[16384];
  for (long n; (n = ::syscall(SYS_getdents64, proc, entries, sizeof entries)) > 0;) {
    for (long at = 0; at < n;) {
      const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
      at += entry->d_reclen;
      const pid_t pid = pid_named(entry->d_name);
      if (pid > 0 && found < max && parent_of(proc, entry->d_name) == self) children[found++] = pid;
    }
  }
  ::close(proc);
  return found;
}

// Reaps what has ended, telling the program when the command did; false
// once the keeper has no child left.
bool reap(pid_t command, int& report_fd) {
  int raw = 0;
  pid_t done = 0;
  while ((done = ::waitpid(-1, &raw, WNOHANG)) > 0)
    if (done == command) {
      report(report_fd, ReportKind::Exited, raw);
      ::close(report_fd);
      report_fd = -1;
    }
  return !(done < 0 && errno == ECHILD);
}

// Ends every process the keeper keeps: SIGTERM (and SIGCONT, for one that
// is stopped) to each child once, what is adopted meanwhile included, then
// SIGKILL after the grace. True when anything was left to end.
bool end_everything(pid_t command, int& report_fd, const sigset_t& watched) {
  static pid_t children[kMaxChildren];
  static pid_t signalled[kMaxChildren];
  std::size_t signalled_count = 0;
  bool any = false;
  int signal = SIGTERM;
  const long long start = now_ms();
  while (reap(command, report_fd)) {
    const long long elapsed = now_ms() - start;
    if (elapsed >= kGraceMs + kGiveUpMs) break;
    if (signal == SIGTERM && elapsed >= kGraceMs) signal = SIGKILL, signalled_count = 0;
    const std::size_t found = list_children(::getpid(), children, kMaxChildren);
    for (std::size_t i = 0; i < found; ++i) {
      if (std::find(signalled, signalled + signalled_count, children[i]) != signalled + signalled_count) continue;
      ::kill(children[i], signal);
      if (signal == SIGTERM) ::kill(children[i], SIGCONT);
      if (signalled_count < kMaxChildren) signalled[signalled_count++] = children[i];
      any = true;
    }
    const timespec moment{0, 20'000'000};
    ::sigtimedwait(&watched, nullptr, &moment);  // a child's end, or a moment
  }
  return any;
}

[[noreturn]] void keep(const KeeperPlan& plan) {
  int report_fd = plan.report_fd;
  ::setpgid(0, 0);
  ::prctl(PR_SET_CHILD_SUBREAPER, 1);
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  sigset_t watched;
  sigemptyset(&watched);
  sigaddset(&watched, SIGCHLD);
  sigaddset(&watched, SIGTERM);
  ::sigprocmask(SIG_SETMASK, &watched, nullptr);
  struct sigaction plain {};
  plain.sa_handler = SIG_DFL;
  for (const int signal : {SIGINT, SIGHUP, SIGQUIT, SIGTERM, SIGCHLD}) ::sigaction(signal, &plain, nullptr);
  ::signal(SIGPIPE, SIG_IGN);  // a program gone must not take the keeper with it
  close_all_but({report_fd, plan.output_fd, plan.errors_fd});
  if (::getppid() != plan.program) ::_exit(0);  // the program died before the keeper was set
  int failed[2];
  if (::pipe2(failed, O_CLOEXEC) != 0) report(report_fd, ReportKind::Failed, errno), ::_exit(0);
  const pid_t command = ::fork();
  if (command == 0) {
    ::close(failed[0]);
    ::close(report_fd);
    exec_command(plan, failed[1]);
  }
  const int fork_error = errno;
  ::close(failed[1]);
  if (plan.output_fd >= 0) ::close(plan.output_fd);
  if (plan.errors_fd >= 0) ::close(plan.errors_fd);
  if (command < 0) report(report_fd, ReportKind::Failed, fork_error), ::_exit(0);
  int error = 0;
  ssize_t n = 0;
  do n = ::read(failed[0], &error, sizeof error);
  while (n < 0 && errno == EINTR);
  ::close(failed[0]);
  if (n == sizeof error) {
    ::waitpid(command, nullptr, 0);
    report(report_fd, ReportKind::Failed, error);
    ::_exit(0);
  }
  report(report_fd, ReportKind::Started, command);
  while (reap(command, report_fd)) {
    siginfo_t info{};
    if (::sigwaitinfo(&watched, &info) == SIGTERM) ::_exit(end_everything(command, report_fd, watched) ? 1 : 0);
  }
  ::_exit(0);
}

Result<Report> read_report(int reports) {
  Report message{};
  ssize_t n = 0;
  do n = ::read(reports, &message, sizeof message);
  while (n < 0 && errno == EINTR);
  if (n < 0) return os_failure();
  if (n != sizeof message) return Report{ReportKind::Exited, SIGKILL};  // the keeper ended without a word
  return message;
}

}  // namespace

Result<KeptCommand> start_kept(const ProcessSpec& command, int output, int errors) {
  int reports[2];
  if (::pipe2(reports, O_CLOEXEC) != 0) return os_failure();
  const ChildVectors child = child_vectors(command);
  const std::string cwd = command.cwd ? command.cwd->string() : "";
  const KeeperPlan plan{child.argv.data(), child.envp.empty() ? nullptr : child.envp.data(),
                        command.cwd ? cwd.c_str() : nullptr, command.input, command.output, command.errors,
                        output, errors, reports[1], ::getpid()};
  const pid_t keeper = ::fork();
  if (keeper == 0) {
    ::close(reports[0]);
    keep(plan);
  }
  const int fork_error = errno;
  ::close(reports[1]);
  KeptCommand kept{keeper, 0, UniqueFd(reports[0])};
  if (keeper < 0) return os_failure(fork_error);
  auto started = read_report(kept.reports.get());
  if (started && started->kind == ReportKind::Started) {
    kept.command = started->value;
    return kept;
  }
  ::waitpid(keeper, nullptr, 0);
  if (!started) return std::unexpected(started.error());
  return os_failure(started->kind == ReportKind::Failed ? started->value : ECHILD);
}

Result<std::optional<ExitStatus>> kept_command_status(int reports, bool block) {
  pollfd ready{reports, POLLIN, 0};
  if (!block && ::poll(&ready, 1, 0) == 0) return std::optional<ExitStatus>();
  auto ended = read_report(reports);
  if (!ended) return std::unexpected(ended.error());
  return std::optional<ExitStatus>(decode_status(ended->value));
}

// The keeper's whole process group hears SIGTERM at once (it is the group's
// leader, and not reaped yet, so the group's id is still its own); the
// keeper then ends what left the group, and SIGKILLs what is left later.
void stop_kept(pid_t keeper) {
  ::kill(-keeper, SIGTERM);
  ::kill(keeper, SIGTERM);
}

}  // namespace wendlebox
