#include "support/history.h"

#include <cstring>
#include <optional>

#include "actions/edit_file.h"
#include "common/json.h"
#include "process/process.h"
#include "common/text.h"

namespace wendlebox {

namespace {

constexpr std::size_t kMaxFileBytes = 1'000'000;

std::optional<std::string> git(const std::filesystem::path& repo, std::vector<std::string> args) {
  args.insert(args.begin(), {"git", "-C", repo.string()});
  auto ran = run_process(ProcessSpec{.argv = std::move(args)});
  if (!ran || !ran->status.success()) return std::nullopt;
  return std::move(ran->output);
}

bool is_text(const std::string& content) {
  return is_valid_utf8(content) && content.find('\0') == std::string::npos && content.size() <= kMaxFileBytes;
}

// The hunks of `git diff` output as edits: the old side (context and
// removed lines) becomes `old`, the new side `new`.
std::vector<Edit> hunks_as_edits(std::string_view diff) {
  std::vector<Edit> edits;
  bool in_hunks = false;
  char last = ' ';
  for (std::size_t start = 0; start < diff.size();) {
    const std::size_t feed = diff.find('\n', start);
    const std::size_t next = feed == std::string_view::npos ? diff.size() : feed + 1;
    const std::string_view line = diff.substr(start, next - start - (feed == std::string_view::npos ? 0 : 1));
    start = next;
    if (line.starts_with("@@")) {
      edits.push_back({});
      in_hunks = true;
      continue;
    }
    if (!in_hunks || line.empty()) continue;
    const std::string rest = std::string(line.substr(1)) + "\n";
    Edit& edit = edits.back();
    switch (line[0]) {
      case ' ': edit.old_text += rest, edit.new_text += rest; break;
      case '-': edit.old_text += rest; break;
      case '+': edit.new_text += rest; break;
      case '\\':  // "\ No newline at end of file", of the line before
        if (last != '+') edit.old_text.pop_back();
        if (last != '-') edit.new_text.pop_back();
        break;
      default: continue;
    }
    if (line[0] != '\\') last = line[0];
  }
  return edits;
}

std::vector<Edit> file_edits(const std::filesystem::path& repo, const std::string& commit, const std::string& path,
                             int context) {
  auto diff = git(repo, {"diff", "-U" + std::to_string(context), "--no-color", "--no-ext-diff", "--no-textconv",
                         "--no-renames", commit + "^", commit, "--", path});
  return diff ? hunks_as_edits(*diff) : std::vector<Edit>{};
}

}  // namespace

std::vector<std::string> recent_commits(const std::filesystem::path& repo, std::size_t count) {
  std::vector<std::string> commits;
  auto listed = git(repo, {"rev-list", "--reverse", "--min-parents=1", "--max-parents=1", "-n", std::to_string(count),
                           "HEAD"});
  if (!listed) return commits;
  for (std::string_view line : split_lines(*listed))
    if (!line.empty()) commits.emplace_back(line);
  return commits;
}

std::vector<FileChange> commit_changes(const std::filesystem::path& repo, const std::string& commit, int context) {
  std::vector<FileChange> changes;
  auto names = git(repo, {"diff", "--name-status", "--no-renames", "-z", commit + "^", commit});
  if (!names) return changes;
  std::vector<std::string> fields;
  for (std::size_t start = 0; start < names->size();) {
    const std::size_t end = names->find('\0', start);
    fields.push_back(names->substr(start, end - start));
    start = end == std::string::npos ? names->size() : end + 1;
  }
  for (std::size_t i = 0; i + 1 < fields.size(); i += 2) {
    if (fields[i] != "M") continue;
    FileChange change{.commit = commit, .path = fields[i + 1], .before = {}, .after = {}, .edits = {}};
    auto before = git(repo, {"show", commit + "^:" + change.path});
    auto after = git(repo, {"show", commit + ":" + change.path});
    if (!before || !after || before->empty() || !is_text(*before) || !is_text(*after)) continue;
    change.before = std::move(*before);
    change.after = std::move(*after);
    change.edits = file_edits(repo, commit, change.path, context);
    if (!change.edits.empty()) changes.push_back(std::move(change));
  }
  return changes;
}

FileChange unambiguous(const std::filesystem::path& repo, const FileChange& change) {
  FileChange widened = change;
  for (int context : {2, 5, 12, 40, 200}) {
    if (context != 2) widened.edits = file_edits(repo, change.commit, change.path, context);
    auto applied = apply_edits(change.before, widened.edits);
    if (applied && applied->text == change.after &&
        std::ranges::all_of(applied->matches, [](Match m) { return m == Match::Exact; }))
      return widened;
  }
  widened.edits = {{change.before, change.after}};
  return widened;
}

std::size_t typed_edit_bytes(const std::vector<Edit>& edits) {
  Json list = Json::array();
  for (const Edit& edit : edits) list.push_back(Json{{"new", edit.new_text}, {"old", edit.old_text}});
  return compact_json(list).size();
}

std::size_t typed_write_bytes(const std::string& content) { return compact_json(Json(content)).size(); }

}  // namespace wendlebox
