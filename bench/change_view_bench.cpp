// What showing a change costs beside making it, on a 1 MB file of 24,000
// code-like lines:
//  - one edit_file in the middle through the executor (read, match, synced
//    write, and the change shown), and its matching alone;
//  - showing that change alone (the diff of the two texts and the lines
//    printed for an 80-column terminal);
//  - the worst case: write_file replacing every line, where the diff stops
//    at its bound and shows the first lines.
#include <chrono>
#include <cstdio>
#include <functional>
#include <sstream>

#include "measure.h"
#include "actions/change_view.h"
#include "actions/edit_file.h"
#include "support/action_folder.h"

using namespace wendlebox;

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kSamples = 15;

double median_ms(const std::function<void()>& work) {
  std::vector<double> times;
  for (int i = 0; i < kSamples; ++i) {
    const auto start = Clock::now();
    work();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return bench::median(times);
}

std::string code_lines(std::size_t count, std::string_view word) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i)
    text += "    result_" + std::to_string(i) + " = compute(" + std::string(word) + ", " + std::to_string(i * 7) + ");\n";
  return text;
}

}  // namespace

int main() {
  const std::string file = code_lines(24'000, "input");
  const std::string old_line = "    result_12000 = compute(input, 84000);\n";
  const std::vector<Edit> edits{{old_line, "    result_12000 = compute(input, 84001);\n    check(result_12000);\n"}};
  auto applied = apply_edits(file, edits);
  if (!applied) {
    std::printf("change view: the edit did not apply: %s\n", applied.error().message.c_str());
    return 1;
  }
  const std::string edited = applied->text;

  ActionFolder folder;
  const double through_executor = median_ms([&] {
    write_text(folder.dir.path / "big.cc", file);
    folder.output.str("");
    (void)folder.run(Action{.type = "edit_file", .path = "big.cc", .edits = edits});
  });
  const double matching = median_ms([&] { (void)apply_edits(file, edits); });
  std::stringstream screen;
  const Printer terminal(screen, false, true, 80);
  const double showing = median_ms([&] {
    screen.str("");
    show_change(terminal, file, edited);
  });
  const std::string rewritten = code_lines(24'000, "output");
  const double showing_rewrite = median_ms([&] {
    screen.str("");
    show_change(terminal, file, rewritten);
  });
  std::printf("change view: 1 MB file (%zu bytes, 24,000 lines), one edit in the middle: edit_file through the "
              "executor %.2f ms (median of %d; read, match, synced write and the change shown), matching alone "
              "%.2f ms, showing the change alone %.2f ms\n",
              file.size(), through_executor, kSamples, matching, showing);
  std::printf("change view: the same file rewritten whole (every line changed): showing the change %.2f ms; "
              "resident memory %ld kB\n",
              showing_rewrite, bench::resident_kb());
}
