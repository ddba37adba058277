#include "process/process.h"

#include "common/files.h"
#include "process/process_keeper.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>
#include <cstdio>
#include <filesystem>
#include <array>
#include <chrono>
#include <thread>

namespace wendlebox {

namespace {

struct Pipe {
  Pipe() = default;
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  int read_end = -1, write_end = -1;
  void close_read() { if (read_end >= 0) ::close(read_end), read_end = -1; }
  void close_write() { if (write_end >= 0) ::close(write_end), write_end = -1; }
  ~Pipe() { close_read(), close_write(); }
};

Status open_pipe(Pipe& pipe) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return os_failure();
  pipe.read_end = fds[0], pipe.write_end = fds[1];
  return {};
}

class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  posix_spawn_file_actions_t* get() { return &actions_; }

  void route(int target, OutputMode mode, const Pipe* pipe) {
    if (mode == OutputMode::Capture) posix_spawn_file_actions_adddup2(&actions_, pipe->write_end, target);
    if (mode == OutputMode::Discard) posix_spawn_file_actions_addopen(&actions_, target, "/dev/null", O_WRONLY, 0);
  }

 private:
  posix_spawn_file_actions_t actions_;
};

Result<pid_t> spawn(const ProcessSpec& command, Pipe* out, Pipe* err) {
  SpawnActions actions;
  if (command.input == InputMode::Null) posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
  OutputMode out_mode = out ? command.output : (command.output == OutputMode::Capture ? OutputMode::Discard : command.output);
  OutputMode err_mode = err ? command.errors : (command.errors == OutputMode::Capture ? OutputMode::Discard : command.errors);
  actions.route(1, out_mode, out);
  actions.route(2, err_mode, err);
  if (command.cwd) posix_spawn_file_actions_addchdir_np(actions.get(), command.cwd->c_str());

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t no_signals, default_signals;
  sigemptyset(&no_signals);
  sigemptyset(&default_signals);
  sigaddset(&default_signals, SIGPIPE);
  posix_spawnattr_setsigmask(&attributes, &no_signals);
  posix_spawnattr_setsigdefault(&attributes, &default_signals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  const ChildVectors child = child_vectors(command);
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, child.argv[0], actions.get(), &attributes, child.argv.data(),
                                 child.envp.empty() ? environ : child.envp.data());
  posix_spawnattr_destroy(&attributes);
  if (error != 0) return os_failure(error);
  return pid;
}

// After the program ends, output still arriving (from a background job it
// left holding the pipes) is read for this long, then the pipes are let go.
constexpr int kGraceAfterExitMs = 250;

// Reads both pipes until they close, or until the grace period after the
// program's exit runs out, keeping at most `limit` bytes of each. Sets
// `status` once the program has ended.
// How the program's end is learnt, and how it is ended when cancelled.
struct Ending {
  std::function<Result<std::optional<ExitStatus>>()> check;
  std::function<void()> cancel;
};

Status drain(const Ending& ending, const ProcessSpec& command, Pipe* out, Pipe* err, std::string& out_text,
             std::string& err_text, std::optional<ExitStatus>& status) {
  const std::atomic<bool>* cancel = command.cancel;
  const std::size_t limit = command.capture_limit;
  bool cancelled = false;
  using Clock = std::chrono::steady_clock;
  std::array<pollfd, 2> fds{};
  std::array<std::string*, 2> sinks{&out_text, &err_text};
  std::array<Pipe*, 2> pipes{out, err};
  std::optional<Clock::time_point> give_up;
  char buffer[65536];
  for (;;) {
    nfds_t count = 0;
    std::array<int, 2> which{};
    for (int i = 0; i < 2; ++i) {
      if (pipes[i] && pipes[i]->read_end >= 0) {
        fds[count] = pollfd{pipes[i]->read_end, POLLIN, 0};
        which[count++] = i;
      }
    }
    if (count == 0) return {};
    if (!cancelled && !status && ((cancel && *cancel) || (command.should_stop && command.should_stop()))) {
      ending.cancel();
      cancelled = true;
    }
    if (!status) {
      auto ended = ending.check();
      if (!ended) return std::unexpected(ended.error());
      status = *ended;
      if (status) give_up = Clock::now() + std::chrono::milliseconds(kGraceAfterExitMs);
    }
    if (give_up && Clock::now() >= *give_up) return {};
    // Until the program ends its exit is checked now and then; after, the
    // wait is bounded by the grace period.
    const int wait_ms = give_up ? static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                        *give_up - Clock::now()).count()) + 1
                                : 100;
    const int ready = ::poll(fds.data(), count, wait_ms);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return {};
    }
    if (ready == 0 && command.on_output) command.on_output({}, false);
    for (nfds_t k = 0; k < count; ++k) {
      if (fds[k].revents == 0) continue;
      Pipe& pipe = *pipes[which[k]];
      const ssize_t n = ::read(pipe.read_end, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        pipe.close_read();
        continue;
      }
      if (command.on_output) command.on_output(std::string_view(buffer, static_cast<std::size_t>(n)), which[k] == 1);
      std::string& sink = *sinks[which[k]];
      if (sink.size() < limit) sink.append(buffer, std::min<std::size_t>(static_cast<std::size_t>(n), limit - sink.size()));
    }
  }
}

}  // namespace

Result<ProcessResult> run_process(const ProcessSpec& command) {
  Pipe out, err;
  const bool capture_out = command.output == OutputMode::Capture;
  const bool capture_err = command.errors == OutputMode::Capture;
  if (capture_out)
    if (auto opened = open_pipe(out); !opened) return std::unexpected(opened.error());
  if (capture_err)
    if (auto opened = open_pipe(err); !opened) return std::unexpected(opened.error());
  ProcessResult result;
  Ending ending;
  std::function<Result<ExitStatus>()> wait;
  KeptCommand kept;
  if (command.keep_descendants) {
    auto started = start_kept(command, out.write_end, err.write_end);
    if (!started) return std::unexpected(started.error());
    kept = std::move(*started);
    result.pid = kept.command;
    result.keeper = Keepers(kept.keeper);
    const int reports = kept.reports.get();
    ending = {[reports] { return kept_command_status(reports, false); }, [&kept] { stop_kept(kept.keeper); }};
    wait = [reports]() -> Result<ExitStatus> {
      auto ended = kept_command_status(reports, true);
      if (!ended) return std::unexpected(ended.error());
      return **ended;
    };
  } else {
    auto pid = spawn(command, capture_out ? &out : nullptr, capture_err ? &err : nullptr);
    if (!pid) return std::unexpected(pid.error());
    result.pid = *pid;
    ending = {[pid = *pid] { return try_wait_process(pid); }, [pid = *pid] { ::kill(pid, SIGKILL); }};
    wait = [pid = *pid] { return wait_process(pid); };
  }
  out.close_write();
  err.close_write();
  std::optional<ExitStatus> status;
  if (auto drained = drain(ending, command, capture_out ? &out : nullptr, capture_err ? &err : nullptr, result.output,
                           result.errors, status);
      !drained)
    return std::unexpected(drained.error());
  if (!status) {
    auto waited = wait();
    if (!waited) return std::unexpected(waited.error());
    status = *waited;
  }
  result.status = *status;
  return result;
}

Result<pid_t> start_process(const ProcessSpec& command) { return spawn(command, nullptr, nullptr); }

Result<ExitStatus> wait_process(pid_t pid) {
  int raw = 0;
  while (::waitpid(pid, &raw, 0) < 0) {
    if (errno != EINTR) return os_failure();
  }
  return decode_status(raw);
}

Result<std::optional<ExitStatus>> try_wait_process(pid_t pid) {
  int raw = 0;
  const pid_t done = ::waitpid(pid, &raw, WNOHANG);
  if (done < 0) return os_failure();
  if (done == 0) return std::optional<ExitStatus>();
  return std::optional<ExitStatus>(decode_status(raw));
}

}  // namespace wendlebox
