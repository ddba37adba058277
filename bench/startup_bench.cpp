// The program's start-up cost beside a trivial C++ program's, measured in
// the same run: a management command (--list-folders) and --help, each
// started 300 times in a row, best of seven rounds.
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
using namespace wendlebox;
namespace fs = std::filesystem;


using Clock = std::chrono::steady_clock;

namespace {

// Microseconds per start of `args` over 300 starts in a row, output discarded.
double one_round(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const auto start = Clock::now();
  for (int i = 0; i < 300; ++i) {
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    ::waitpid(child, &status, 0);
  }
  posix_spawn_file_actions_destroy(&actions);
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / 300;
}

}  // namespace

int main(int, char** argv) {
  TempDir home;
  ScopedEnv env;
  env.set("HOME", home.path.string());
  const fs::path build = fs::canonical(fs::path(argv[0])).parent_path();
  // Rounds alternate between the programs, so a busy moment of the machine
  // weighs on all of them; the best round of each counts.
  const std::vector<std::vector<std::string>> programs{{(build / "trivial_program").string()},
                                                       {(build / "wendlebox").string(), "--list-folders"},
                                                       {(build / "wendlebox").string(), "--help"}};
  std::vector<double> best(programs.size(), 1e18);
  for (int round = 0; round < 7; ++round)
    for (std::size_t i = 0; i < programs.size(); ++i) best[i] = std::min(best[i], one_round(programs[i]));
  for (std::size_t i = 1; i < programs.size(); ++i)
    std::printf("startup: wendlebox %s: %.0f us per start, %.2fx a trivial C++ program (%.0f us)\n",
                programs[i][1].c_str(), best[i], best[i] / best[0], best[0]);
  return 0;
}
