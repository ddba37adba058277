// The program's start-up cost beside a trivial C++ program's, measured in
// the same run: a management command (--list-folders) and --help, each
// started 300 times in a row, best of five rounds.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "support/support.h"

extern char** environ;

using Clock = std::chrono::steady_clock;

namespace {

// Microseconds per start of `argv`, output discarded.
double per_start(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  std::vector<double> rounds;
  for (int round = 0; round < 5; ++round) {
    const auto start = Clock::now();
    for (int i = 0; i < 300; ++i) {
      pid_t child = 0;
      if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) return -1;
      int status = 0;
      ::waitpid(child, &status, 0);
    }
    rounds.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() / 300);
  }
  posix_spawn_file_actions_destroy(&actions);
  return *std::min_element(rounds.begin(), rounds.end());
}

}  // namespace

int main(int, char** argv) {
  TempDir home;
  ScopedEnv env;
  env.set("HOME", home.path.string());
  const fs::path build = fs::canonical(fs::path(argv[0])).parent_path();
  const double baseline = per_start({(build / "trivial_program").string()});
  for (const char* command : {"--list-folders", "--help"}) {
    const double took = per_start({(build / "wendlebox").string(), command});
    std::printf("startup: wendlebox %s: %.0f us per start, %.2fx a trivial C++ program (%.0f us)\n", command, took,
                took / baseline, baseline);
  }
  return 0;
}
