// Fuzz target for the one gate every action's path goes through: whatever
// the requested text (the input, after a first byte that says whether the
// action writes), the answer stays inside the working folder, refuses
// control characters, and nothing appears outside the working folder, in
// its Git folder or in the program's own state.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "workspace/safe_path.h"
#include "common/folders.h"
#include "fuzz/targets.h"

using namespace wendlebox;

namespace {

namespace fs = std::filesystem;

// A small tree with the usual traps, made once per process and removed at its end.
struct Tree {
  Tree() {
    std::string pattern = (fs::temp_directory_path() / "wendlebox-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    top = fs::canonical(pattern);
    work = top / "w";
    for (const fs::path& folder : {top / "outside", work / "sub", work / ".git", work / ".cfg/wendlebox",
                                   work / ".data/wendlebox"})
      fs::create_directories(folder);
    std::ofstream(work / "a.txt") << "a";
    std::ofstream(top / "outside-file") << "secret";
    fs::create_directory_symlink("../outside", work / "link");
    fs::create_symlink("../outside/none", work / "dead");
    fs::create_directory_symlink("..", work / "up");
    fs::create_directory_symlink(".git", work / "g");
    fs::create_directory_symlink(".cfg/wendlebox", work / "c");
  }
  ~Tree() {
    std::error_code ignored;
    fs::remove_all(top, ignored);
  }
  fs::path top, work;
};

// The program's state folders point into the tree for the call only.
class StateHere {
 public:
  explicit StateHere(const fs::path& work) {
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
      const char* value = std::getenv(name);
      saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
    }
    ::setenv("XDG_CONFIG_HOME", (work / ".cfg").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (work / ".data").c_str(), 1);
  }
  ~StateHere() {
    const char* names[] = {"XDG_CONFIG_HOME", "XDG_DATA_HOME"};
    for (std::size_t i = 0; i < 2; ++i)
      saved_[i] ? ::setenv(names[i], saved_[i]->c_str(), 1) : ::unsetenv(names[i]);
  }

 private:
  std::vector<std::optional<std::string>> saved_;
};

bool has_control(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) return true;
    if (c == 0xC2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) return true;
  }
  return false;
}

std::size_t entries(const fs::path& folder) {
  std::error_code error;
  std::size_t count = 0;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) ++count;
  return count;
}

void require(bool holds) {
  if (!holds) std::abort();
}

}  // namespace

int fuzz_paths(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const Tree tree;
  const StateHere state(tree.work);
  const bool writes = (data[0] & 1) != 0;
  const std::string requested(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::vector<fs::path> roots{tree.work};
  auto path = safe_path(tree.work, roots, requested, writes);
  if (has_control(requested)) require(!path && path.error().message == "Path cannot contain control characters");
  if (path) {
    require(is_inside(path->resolved, tree.work));
    require(!is_inside(path->resolved, tree.work / ".cfg/wendlebox"));
    require(!is_inside(path->resolved, tree.work / ".data/wendlebox"));
    require(!writes || !path->protected_folder);
    if (is_inside(path->resolved, tree.work / ".git")) require(path->protected_folder == ".git");
  }
  require(entries(tree.top) == 3);  // outside, outside-file, w
  require(entries(tree.top / "outside") == 0);
  require(entries(tree.work / ".git") == 0);
  require(entries(tree.work / ".cfg/wendlebox") == 0);
  require(entries(tree.work / ".data/wendlebox") == 0);
  return 0;
}
