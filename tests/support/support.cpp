#include "support/support.h"

#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace wendlebox {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "wendlebox-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path = fs::canonical(pattern);
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Folders made read-only by a test must become writable to be removed.
  for (auto it = fs::recursive_directory_iterator(path, ignored); it != fs::recursive_directory_iterator(); ++it)
    if (it->is_directory(ignored) && !it->is_symlink(ignored))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path, ignored);
}

void write_text(const fs::path& path, const std::string& content) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

void use_own_git_config(ScopedEnv& env, const fs::path& home, const std::string& config) {
  env.set("HOME", home.string());
  env.set("GIT_CONFIG_GLOBAL", (home / "gitconfig").string());
  env.set("GIT_CONFIG_NOSYSTEM", "1");
  write_text(home / "gitconfig", config);
}

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

void write_script(const fs::path& path, const std::string& body) {
  write_text(path, "#!/bin/sh\n" + body + "\n");
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

std::string binary_path() { return WENDLEBOX_BINARY; }

std::string last_opened_argument(const fs::path& urls) {
  wait_until([&] { return fs::exists(urls) && read_text(urls).ends_with("\n"); });
  std::string text = read_text(urls);
  if (text.empty()) return "";
  text.pop_back();
  return text.substr(text.rfind('\n') + 1);
}

std::string last_opened_url(const fs::path& urls) { return forwarded_url(last_opened_argument(urls)); }

std::string forwarded_url(const std::string& opened) {
  if (!opened.starts_with("/")) return opened;
  // A forwarding page: the address is its link's.
  const std::string page = read_text(opened);
  const std::size_t start = page.find("<a href=\"");
  if (start == std::string::npos) return "";
  const std::size_t end = page.find('"', start + 9);
  std::string url = page.substr(start + 9, end - start - 9);
  // The link is HTML: "&port=" is written "&amp;port=".
  for (std::size_t at = url.find("&amp;"); at != std::string::npos; at = url.find("&amp;", at + 1)) url.erase(at + 1, 4);
  return url;
}

void ScopedEnv::remember(const std::string& name) {
  for (const auto& [saved, value] : saved_)
    if (saved == name) return;
  const char* value = std::getenv(name.c_str());
  saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
}

void ScopedEnv::set(const std::string& name, const std::string& value) {
  remember(name);
  ::setenv(name.c_str(), value.c_str(), 1);
}

void ScopedEnv::unset(const std::string& name) {
  remember(name);
  ::unsetenv(name.c_str());
}

ScopedEnv::~ScopedEnv() {
  for (const auto& [name, value] : saved_)
    if (value) ::setenv(name.c_str(), value->c_str(), 1); else ::unsetenv(name.c_str());
}

bool can_play_other_users() { return ::geteuid() == 0; }

namespace {

constexpr uid_t kOtherUser = 65534;  // nobody
constexpr gid_t kOtherGroup = 65534;

int in_child(const std::function<bool()>& prepare, const std::function<int()>& body) {
  std::cout.flush();
  const pid_t child = ::fork();
  if (child == 0) ::_exit(prepare() ? body() : 125);
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int as_other_user(const std::function<int()>& body) {
  return in_child([] { return ::setgroups(0, nullptr) == 0 && ::setgid(kOtherGroup) == 0 && ::setuid(kOtherUser) == 0; },
                  body);
}

int in_own_mount_namespace(const std::function<int()>& body) {
  return in_child([] { return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0; },
                  body);
}

bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

const std::vector<std::string> kMachineVariables{
    "WENDLEBOX_LANG", "LC_ALL", "LC_MESSAGES", "LANGUAGE",    "LANG", "XDG_CONFIG_HOME",
    "XDG_DATA_HOME",  "HOME",   "NO_COLOR",    "WSL_INTEROP", "SHELL", "XDG_RUNTIME_DIR"};

namespace {

std::vector<std::string> child_environment(const BinaryRun& run) {
  std::map<std::string, std::string> vars;
  for (char** entry = environ; *entry; ++entry) {
    std::string text(*entry);
    const auto eq = text.find('=');
    vars[text.substr(0, eq)] = text.substr(eq + 1);
  }
  for (const std::string& name : kMachineVariables) vars.erase(name);
  if (!run.home.empty()) vars["HOME"] = run.home.string();
  if (run.path_prefix) vars["PATH"] = *run.path_prefix + ":" + vars["PATH"];
  // Git must not read the machine's own configuration.
  vars["GIT_CONFIG_NOSYSTEM"] = "1";
  if (!run.home.empty()) vars["GIT_CONFIG_GLOBAL"] = (run.home / ".gitconfig").string();
  for (const auto& [name, value] : run.env) vars[name] = value;
  std::vector<std::string> result;
  for (const auto& [name, value] : vars) result.push_back(name + "=" + value);
  return result;
}

}  // namespace

RunningBinary::RunningBinary(const BinaryRun& run) {
  const fs::path in_path = files_.path / "stdin";
  write_text(in_path, run.input);
  int pipe_fds[2] = {-1, -1};
  if (run.keep_stdin_open && ::pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> env = child_environment(run);
  std::vector<std::string> args{run.program.empty() ? binary_path() : run.program.string()};
  args.insert(args.end(), run.args.begin(), run.args.end());
  winsize size{.ws_row = 24, .ws_col = run.columns, .ws_xpixel = 0, .ws_ypixel = 0};
  pid_ = run.terminal ? ::forkpty(&terminal_fd_, nullptr, nullptr, &size) : ::fork();
  if (pid_ == 0) {
    // A test that crashes must not leave a session holding the bridge port.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (!run.cwd.empty() && ::chdir(run.cwd.c_str()) != 0) _exit(126);
    if (!run.terminal) {
      const int in = run.keep_stdin_open ? pipe_fds[0] : ::open(in_path.c_str(), O_RDONLY);
      ::dup2(in, 0);
      ::dup2(::open((files_.path / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
      ::dup2(::open((files_.path / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    }
    if (run.keep_stdin_open) ::close(pipe_fds[1]);
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    for (auto& e : env) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    ::execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  if (run.keep_stdin_open) {
    ::close(pipe_fds[0]);
    stdin_fd_ = pipe_fds[1];
  }
  if (run.terminal) {
    ::fcntl(terminal_fd_, F_SETFL, ::fcntl(terminal_fd_, F_GETFL) | O_NONBLOCK);
    stdin_fd_ = ::dup(terminal_fd_);
  }
}

// The screen so far; the program blocks on a full terminal unless it is read.
void RunningBinary::read_screen() const {
  char buffer[4096];
  for (ssize_t n; terminal_fd_ >= 0 && (n = ::read(terminal_fd_, buffer, sizeof buffer)) > 0;)
    screen_.append(buffer, static_cast<std::size_t>(n));
}

RunningBinary::~RunningBinary() {
  close_input();
  if (terminal_fd_ >= 0) ::close(terminal_fd_);
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

void RunningBinary::send_input(const std::string& text) {
  if (stdin_fd_ >= 0 && ::write(stdin_fd_, text.data(), text.size()) < 0) throw std::runtime_error("write failed");
}

void RunningBinary::close_input() {
  if (stdin_fd_ >= 0) ::close(stdin_fd_);
  stdin_fd_ = -1;
}

std::string RunningBinary::output_so_far() const {
  if (terminal_fd_ < 0) return read_text(files_.path / "stdout");
  read_screen();
  return screen_;
}

CommandResult RunningBinary::finish(std::chrono::seconds limit) {
  close_input();
  CommandResult result;
  int status = 0;
  const bool ended = wait_until([&] {
    read_screen();
    return ::waitpid(pid_, &status, WNOHANG) == pid_;
  }, limit);
  if (!ended) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
  }
  pid_ = -1;
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  if (terminal_fd_ >= 0) {
    read_screen();
    result.out = screen_;
    return result;
  }
  result.out = read_text(files_.path / "stdout");
  result.err = read_text(files_.path / "stderr");
  return result;
}

bool process_ended(pid_t pid) {
  const fs::path stat = "/proc/" + std::to_string(pid) + "/stat";
  std::ifstream file(stat);
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return text.empty() || text.find(") Z ") != std::string::npos;
}

pid_t pid_in_file(const fs::path& file) {
  wait_until([&] { return fs::exists(file) && read_text(file).ends_with("\n"); });
  return static_cast<pid_t>(std::stoi(read_text(file)));
}

void RunningBinary::interrupt() const { send_signal(SIGINT); }

void RunningBinary::send_signal(int signal) const { ::kill(pid_, signal); }

CommandResult run_binary(const BinaryRun& run) { return RunningBinary(run).finish(); }

}  // namespace wendlebox
