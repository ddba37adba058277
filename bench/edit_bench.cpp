// What edits save and cost, on real history: every commit of this project
// replayed as edit_file edits (each hunk with two lines of context), with
// the bytes ChatGPT would type against whole-file writes and the time to
// apply them through the executor; then searches over 10,000 files and a
// hostile pattern over a 100 KB line.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "measure.h"
#include "actions/edit_file.h"
#include "support/action_folder.h"
#include "support/history.h"

using namespace wendlebox;

using Clock = std::chrono::steady_clock;

namespace {

double ms_since(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

using bench::median;

void replay_history() {
  const std::vector<std::string> commits = recent_commits(WENDLEBOX_SOURCE_DIR, 100'000);
  ActionFolder folder;
  std::size_t files = 0, identical = 0, identical_widened = 0;
  std::size_t edit_bytes = 0, write_bytes = 0;
  std::vector<std::size_t> edit_sizes, write_sizes;
  double apply_ms = 0, match_ms = 0;
  for (const std::string& commit : commits) {
    for (const FileChange& change : commit_changes(WENDLEBOX_SOURCE_DIR, commit, 2)) {
      const std::string path = commit.substr(0, 12) + "/" + change.path;
      write_text(folder.dir.path / path, change.before);
      const auto matching = Clock::now();
      (void)apply_edits(change.before, change.edits);
      match_ms += ms_since(matching);
      const auto start = Clock::now();
      auto edited = folder.run(Action{.type = "edit_file", .path = path, .edits = change.edits});
      apply_ms += ms_since(start);
      ++files;
      if (edited && read_text(folder.dir.path / path) == change.after) {
        ++identical;
        ++identical_widened;
      } else {
        write_text(folder.dir.path / path, change.before);
        const FileChange widened = unambiguous(WENDLEBOX_SOURCE_DIR, change);
        auto again = folder.run(Action{.type = "edit_file", .path = path, .edits = widened.edits});
        if (again && read_text(folder.dir.path / path) == change.after) ++identical_widened;
      }
      edit_sizes.push_back(typed_edit_bytes(change.edits));
      write_sizes.push_back(typed_write_bytes(change.after));
      edit_bytes += edit_sizes.back();
      write_bytes += write_sizes.back();
    }
  }
  if (files == 0) {
    std::printf("edits: no Git history beside the sources to replay\n");
    return;
  }
  std::printf("edits: %zu commits of this project, %zu changed text files replayed as edits with 2 lines of context\n",
              commits.size(), files);
  std::printf("edits: byte-identical %zu of %zu as given, %zu of %zu with more context where a hunk was ambiguous\n",
              identical, files, identical_widened, files);
  std::printf("edits: typed as edits %zu KB (median %zu bytes a file), as whole-file writes %zu KB (median %zu bytes), "
              "%.1f times less\n",
              edit_bytes / 1000, median(edit_sizes), write_bytes / 1000, median(write_sizes),
              static_cast<double>(write_bytes) / static_cast<double>(std::max<std::size_t>(edit_bytes, 1)));
  std::printf("edits: applied through the executor (read, match, synced write) in %.0f ms, %.0f µs a file; matching "
              "alone %.1f ms, %.0f µs a file\n",
              apply_ms, apply_ms * 1000 / static_cast<double>(files), match_ms,
              match_ms * 1000 / static_cast<double>(files));
}

// 100 folders of 100 files, each of 40 lines of code-like text; one word
// appears in one file of ten.
void search_tree() {
  ActionFolder folder;
  std::size_t bytes = 0;
  for (int d = 0; d < 100; ++d)
    for (int f = 0; f < 100; ++f) {
      std::string text;
      for (int line = 0; line < 40; ++line)
        text += "  int value_" + std::to_string(line) + " = compute(" + std::to_string(d * f + line) + ");\n";
      if (f % 10 == 0) text += "  // rare_marker here\n";
      bytes += text.size();
      write_text(folder.dir.path / ("dir" + std::to_string(d)) / ("file" + std::to_string(f) + ".cc"), text);
    }
  const std::vector<std::pair<std::string, Action>> searches{
      {"literal, 1,000 matches (200 returned)", Action{.type = "search", .pattern = "rare_marker"}},
      {"literal, no match", Action{.type = "search", .pattern = "absent_word"}},
      {"regex, no match", Action{.type = "search", .pattern = "compute\\(9{6}\\)", .regex = true}},
      {"ignoring case, no match", Action{.type = "search", .pattern = "ABSENT", .ignore_case = true}},
      {"files by glob, 200 of 10,000", Action{.type = "search", .glob = "**/file*.cc"}},
  };
  for (const auto& [name, action] : searches) {
    std::vector<std::size_t> times;
    for (int run = 0; run < 5; ++run) {
      const auto start = Clock::now();
      auto found = folder.run(action);
      times.push_back(static_cast<std::size_t>(ms_since(start) * 1000));
      if (!found) std::printf("search: %s failed: %s\n", name.c_str(), found.error().message.c_str());
    }
    std::printf("search: 10,000 files (%.1f MB), %s: %.1f ms (median of 5)\n", static_cast<double>(bytes) / 1e6, name.c_str(),
                static_cast<double>(median(times)) / 1000);
  }
  write_text(folder.dir.path / "min.js", std::string(100'000, 'a') + "\n");
  for (const std::string pattern : {"(a*)*b", "(a|aa)*c", "(.*a){20}z", "(?:a?){50}a{50}z"}) {
    const auto start = Clock::now();
    auto found = folder.run(Action{.type = "search", .path = "min.js", .pattern = pattern, .regex = true});
    std::printf("search: hostile pattern %s over a 100 KB line: %.1f ms (%s)\n", pattern.c_str(), ms_since(start),
                found ? "no match" : found.error().message.c_str());
  }
}

}  // namespace

// A hostile edit: a long "old" of one line repeated, but for its last, in
// a 1 MB file of that line: every line of the file begins a candidate.
void hostile_edit() {
  std::string file, old;
  for (int i = 0; i < 500'000; ++i) file += "a\n";
  for (int i = 0; i < 20'000; ++i) old += "a \n";
  old += "b\n";
  const auto start = Clock::now();
  auto edited = apply_edits(file, {Edit{old, "c\n"}});
  std::printf("edits: a 20,000-line old that almost fits everywhere in a 1 MB file of one line: %.0f ms (%s)\n",
              ms_since(start), edited ? "applied" : "refused");
}

int main() {
  replay_history();
  search_tree();
  hostile_edit();
  return 0;
}
