// How long a search takes over a tree of 10,000 source files (100 folders
// of 100), for a word in a few of them and for file names alone: the walk
// and the reading of every file are most of it.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "measure.h"
#include "support/action_folder.h"

using namespace wendlebox;

using Clock = std::chrono::steady_clock;

namespace {

double median_of(int runs, const std::function<void()>& work) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    work();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return bench::median(times);
}

}  // namespace

int main() {
  ActionFolder folder;
  const std::string body(400, 'x');
  for (int d = 0; d < 100; ++d)
    for (int f = 0; f < 100; ++f)
      write_text(folder.dir.path / ("src/" + std::to_string(d) + "/" + std::to_string(f) + ".c"),
                 body + "\nint f" + std::to_string(f) + "(void);\n" + (f == 7 ? "needle\n" : ""));
  const auto searched = [&](Action action) {
    action.type = "search";
    return folder.run(action);
  };
  std::size_t found = 0;
  const double lines = median_of(7, [&] {
    auto result = searched(Action{.pattern = "needle"});
    found = result ? (*result)["matches"].size() : 0;
  });
  std::printf("search: a word in 10,000 files: median %.1f ms (%zu matches)\n", lines, found);
  const double names = median_of(7, [&] {
    auto result = searched(Action{.glob = "**/7.c"});
    found = result ? (*result)["files"].size() : 0;
  });
  std::printf("search: a file name among 10,000 files: median %.1f ms (%zu files)\n", names, found);
  return 0;
}
