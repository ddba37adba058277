// What every /undo test starts from: a repository of the test's own, its
// prompts' actions run between the watch's two looks as the executor runs
// them, and each prompt committed.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/printer.h"
#include "git/git.h"
#include "process/process.h"
#include "support/support.h"
#include "undo/kept_copies.h"
#include "undo/prompt_watch.h"

namespace wendlebox {

class Undo : public testing::Test {
 protected:
  void SetUp() override {
    use_own_git_config(env, home.path, "[init]\n\tdefaultBranch = main\n[user]\n\tname = Ada\n\temail = ada@example.org\n");
  }
  std::string git(const std::string& args) {
    auto ran = run_process(ProcessSpec{.argv = {"sh", "-c", "git " + args}, .cwd = work.path});
    return ran ? ran->output : "";
  }
  // A repository with `files` committed.
  void repository(const std::vector<std::pair<std::string, std::string>>& files) {
    git("init -q");
    for (const auto& [name, content] : files) write_text(work.path / name, content);
    git("add -A && git commit -qm base");
  }
  GitSession session() {
    auto prepared = prepare_git(work.path, printer);
    EXPECT_TRUE(prepared) << output.str();
    return prepared.value_or(GitSession{});
  }
  // A write as the executor makes it: a new file renamed over the old.
  void write_action(PromptWatch& watch, const std::string& name, const std::string& content) {
    const std::filesystem::path path = work.path / name;
    watch.before(path);
    std::filesystem::create_directories(path.parent_path());
    write_text(path.string() + ".new", content);
    std::filesystem::rename(path.string() + ".new", path);
    watch.after(path);
  }
  void command_action(PromptWatch& watch, const std::string& command) {
    watch.before(std::nullopt);
    EXPECT_TRUE(run_process(ProcessSpec{.argv = {"sh", "-c", command}, .cwd = work.path})) << command;
    watch.after(std::nullopt);
  }
  struct Prompted {
    PromptWatch watch;
    std::string commit;
  };
  // One prompt: its actions run watched, then it is committed.
  Prompted prompt(const GitSession& repo, const std::function<void(PromptWatch&)>& actions) {
    Prompted prompted{PromptWatch::start(repo, work.path, *kept), ""};
    actions(prompted.watch);
    prompted.watch.finish();
    auto made = commit_finished_task(repo, "the prompt", printer);
    EXPECT_TRUE(made) << output.str();
    prompted.commit = made.value_or("");
    return prompted;
  }
  std::vector<std::string> names(const std::vector<std::filesystem::path>& paths) {
    std::vector<std::string> relative;
    for (const std::filesystem::path& path : paths) relative.push_back(path.lexically_relative(work.path).string());
    return relative;
  }
  std::vector<std::string> names(const std::vector<std::pair<std::filesystem::path, std::string>>& lost) {
    std::vector<std::string> relative;
    for (const auto& [path, why] : lost) relative.push_back(path.lexically_relative(work.path).string());
    return relative;
  }

  TempDir home, work;
  ScopedEnv env;
  std::unique_ptr<KeptCopies> kept = std::make_unique<KeptCopies>();
  std::stringstream output;
  Printer printer{output, false, false};
};

}  // namespace wendlebox
