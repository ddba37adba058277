// Helpers shared by the tests: temporary folders, files, and the real
// binary run as a child with an environment of the test's own.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace wendlebox {


struct TempDir {
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::filesystem::path path;
};

void write_text(const std::filesystem::path& path, const std::string& content);
std::string read_text(const std::filesystem::path& path);
// An executable shell script.
void write_script(const std::filesystem::path& path, const std::string& body);

// Sets or unsets environment variables of this test process and puts every
// one back as it was when it goes out of scope.
class ScopedEnv {
 public:
  ScopedEnv() = default;
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  void set(const std::string& name, const std::string& value);
  void unset(const std::string& name);

 private:
  void remember(const std::string& name);
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Git run by this process sees `home` as the home folder and `config` as its
// only configuration, never the machine's (its identity, hooks or branch).
void use_own_git_config(ScopedEnv& env, const std::filesystem::path& home, const std::string& config);

// What a run of the program must not take from the machine's environment:
// its locale, home, configuration and data folders, colour choice, WSL and
// shell.
extern const std::vector<std::string> kMachineVariables;

struct BinaryRun {
  std::vector<std::string> args{};
  std::filesystem::path program{};  // the build's wendlebox when empty
  std::filesystem::path cwd{};
  std::filesystem::path home{};  // HOME (unset when empty); XDG_CONFIG_HOME is left unset
  std::map<std::string, std::string> env{};  // set on top of a clean base
  std::optional<std::string> path_prefix{};  // prepended to PATH
  std::string input{};                       // standard input, then end of file
  bool keep_stdin_open = false;            // feed input later with send_input
  // Standard input, output and error on one pseudo-terminal: what is typed
  // goes through send_input, and `out` is the screen (with `err` empty).
  bool terminal = false;
  unsigned short columns = 80;  // the terminal's width
};

struct CommandResult {
  int exit_code = -1;  // -1 when killed by a signal
  int signal = 0;      // the signal that ended it (the real binary only)
  std::string out;
  std::string err;
};

// The real wendlebox binary running as a child process.
class RunningBinary {
 public:
  explicit RunningBinary(const BinaryRun& run);
  ~RunningBinary();
  void send_input(const std::string& text);
  void close_input();
  std::string output_so_far() const;
  // Ctrl-C, as the terminal would send it.
  void interrupt() const;
  void send_signal(int signal) const;
  // Waits up to `limit`; kills the child when it is still running.
  CommandResult finish(std::chrono::seconds limit = std::chrono::seconds(60));

 private:
  void read_screen() const;

  pid_t pid_ = -1;
  int stdin_fd_ = -1;
  int terminal_fd_ = -1;
  mutable std::string screen_;
  TempDir files_;
};

CommandResult run_binary(const BinaryRun& run);

// Attacks by another local user, and file-system tricks that need a mount
// namespace, are played as root (as CI runs); elsewhere those tests skip.
bool can_play_other_users();
// Runs `body` in a child process as the second local user (nobody, who
// owns none of the test's files) and gives its exit status, -1 when the
// child did not exit by itself.
int as_other_user(const std::function<int()>& body);
// Runs `body` in a child process with a mount namespace of its own (mounts
// made there vanish with it) and gives its exit status.
int in_own_mount_namespace(const std::function<int()>& body);
// Whether the process has ended: gone, or a zombie not yet reaped.
bool process_ended(pid_t pid);
// The pid written in `file`, once it is there.
pid_t pid_in_file(const std::filesystem::path& file);

// Polls `condition` until it holds or the deadline passes.
bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(30));

std::string binary_path();

// What a fake browser opener last appended to `urls` (a line each): an
// address, or the path of a page that forwards to one; waits for the first.
std::string last_opened_argument(const std::filesystem::path& urls);
// The address itself, read from the forwarding page when there is one.
std::string last_opened_url(const std::filesystem::path& urls);
// `opened` when it is an address, else the address a forwarding page leads to.
std::string forwarded_url(const std::string& opened);

}  // namespace wendlebox
