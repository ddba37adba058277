// What watching a prompt for /undo costs, on a repository of 10,000
// tracked files beside 40,000 ignored ones (a dependency folder):
//  - one look at the whole folder;
//  - the state kept when a prompt starts (the look, HEAD, the index and a
//    tree of the working folder through a scratch index);
//  - one watched action (a look before and one after);
//  - three watched actions in a row, as one reply's batch runs them (the
//    look after one is the look before the next);
//  - /undo of a prompt whose command made 1,000 files;
//  - keeping a 32 MB file an action names past the memory budget (to the
//    private folder, hashed on the way) and /undo writing it back;
// with the memory the watch holds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <sstream>

#include "measure.h"
#include "process/process.h"
#include "undo/undo.h"
#include "support/support.h"

using namespace wendlebox;
namespace fs = std::filesystem;

using Clock = std::chrono::steady_clock;

namespace {

double milliseconds(const std::function<void()>& work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median_of(int runs, const std::function<void()>& work) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) times.push_back(milliseconds(work));
  return bench::median(times);
}

bool sh(const fs::path& dir, const std::string& command) {
  auto ran = run_process(ProcessSpec{.argv = {"sh", "-c", command}, .cwd = dir});
  return ran && ran->status.success();
}

}  // namespace

int main() {
  TempDir home, work;
  ScopedEnv env;
  use_own_git_config(env, home.path, "[user]\n\tname = Bench\n\temail = bench@example.org\n");
  if (!sh(work.path, "git init -q && printf 'deps/\\n' > .gitignore && "
                     "for d in $(seq 100); do mkdir -p src/$d deps/$d; "
                     "for f in $(seq 100); do echo $d$f > src/$d/$f.c; done; "
                     "for f in $(seq 400); do echo $f > deps/$d/$f.js; done; done && "
                     "git add -A && git commit -qm base")) {
    std::fprintf(stderr, "undo: could not make the repository\n");
    return 1;
  }
  std::stringstream quiet;
  const Printer printer(quiet, false, false);
  auto session = prepare_git(work.path, printer);
  if (!session) return 1;

  std::size_t entries = 0;
  const double look = median_of(5, [&] { entries = scan_folder(work.path, PromptWatch::kMaxEntries).entries.size(); });
  std::printf("undo: one look at %zu entries: median %.1f ms\n", entries, look);

  const long before = bench::resident_kb();
  KeptCopies kept;
  std::optional<PromptWatch> watch;
  const double start = median_of(3, [&] { watch = PromptWatch::start(*session, work.path, kept); });
  std::printf("undo: state kept when a prompt starts: median %.1f ms, %ld KB held\n", start, bench::resident_kb() - before);

  const double action = median_of(3, [&] {
    watch->look_afresh();
    watch->before(std::nullopt);
    watch->after(std::nullopt);
  });
  std::printf("undo: one watched action (a look before and after): median %.1f ms\n", action);

  const double batch = median_of(3, [&] {
    watch->look_afresh();
    for (int i = 0; i < 3; ++i) {
      watch->before(std::nullopt);
      watch->after(std::nullopt);
    }
  });
  std::printf("undo: three watched actions in a row (one reply's batch): median %.1f ms\n", batch);

  watch = PromptWatch::start(*session, work.path, kept);
  watch->before(std::nullopt);
  sh(work.path, "mkdir made && for f in $(seq 1000); do echo $f > made/$f.txt; done");
  watch->after(std::nullopt);
  watch->finish();
  auto commit = commit_finished_task(*session, "make 1,000 files", printer);
  if (!commit) return 1;
  Result<UndoReport> undone;
  const double undo = milliseconds([&] { undone = undo_prompt(*session, *commit, *watch); });
  if (!undone || fs::exists(work.path / "made")) {
    std::fprintf(stderr, "undo: the prompt was not undone\n");
    return 1;
  }
  std::printf("undo: /undo of a prompt that made 1,000 files: %.1f ms\n", undo);

  const fs::path large = work.path / "deps" / "large.bin";
  write_text(large, std::string(32 << 20, 'x'));
  KeptCopies on_disk(KeptLimits{.memory_file = 0, .memory_total = 0});
  watch = PromptWatch::start(*session, work.path, on_disk);
  const double keep = milliseconds([&] { watch->before(large); });
  write_text(large, "replaced\n");
  watch->after(large);
  watch->finish();
  commit = commit_finished_task(*session, "replace a large file", printer);
  if (!commit) return 1;
  const double back = milliseconds([&] { undone = undo_prompt(*session, *commit, *watch); });
  if (!undone || !undone->lost.empty() || fs::file_size(large) != (32u << 20)) {
    std::fprintf(stderr, "undo: the large file did not come back\n");
    return 1;
  }
  std::printf("undo: a 32 MB file kept on disk before a write: %.1f ms; written back by /undo: %.1f ms\n", keep, back);
  return 0;
}
