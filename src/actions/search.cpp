#include "actions/search.h"

#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <unordered_set>

#include <fmt/format.h>
#include <re2/re2.h>

#include "actions/file_access.h"
#include "workspace/out_of_reach.h"
#include "workspace/safe_path.h"
#include "workspace/folder_walk.h"
#include "common/text.h"
#include "git/git.h"
#include "i18n/i18n.h"
#include "actions/messages.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

using namespace messages::actions;

constexpr std::size_t kMaxResults = 200;
constexpr std::size_t kShownChars = 300;      // of a matching line
constexpr std::size_t kCharsBeforeMatch = 100;  // kept before the match on a line cut to size
constexpr std::size_t kBinaryProbe = 8192;
constexpr off_t kMaxSearchedBytes = 8'000'000;
constexpr int kMaxDepth = 64;
constexpr std::size_t kMaxVisitedFiles = 200'000;
constexpr std::int64_t kMaxRegexMemory = 64 << 20;

std::unique_ptr<RE2> compiled(const std::string& pattern, bool literal, bool ignore_case) {
  RE2::Options options;
  options.set_log_errors(false);
  options.set_literal(literal);
  options.set_case_sensitive(!ignore_case);
  options.set_never_nl(true);  // a match lies within one line
  options.set_max_mem(kMaxRegexMemory);
  return std::make_unique<RE2>(pattern, options);
}

// What a search looks for. A whole file is first tried at once with `in_file`,
// which reads "^" and "$" at every line, so that most files cost one pass.
struct Matcher {
  std::unique_ptr<RE2> in_line, in_file, name;
  bool glob_has_folder = false;
};

Result<Matcher> matcher_for(const Action& action) {
  Matcher matcher;
  const bool has_pattern = action.pattern && !action.pattern->empty();
  if (has_pattern) {
    matcher.in_line = compiled(*action.pattern, !action.regex, action.ignore_case);
    if (!matcher.in_line->ok()) return failure("Invalid regex: " + matcher.in_line->error());
    matcher.in_file = action.regex ? compiled("(?m)" + *action.pattern, false, action.ignore_case)
                                   : compiled(*action.pattern, true, action.ignore_case);
    if (!matcher.in_file->ok()) return failure("Invalid regex: " + matcher.in_file->error());
  }
  if (action.glob && !action.glob->empty()) {
    matcher.name = compiled(glob_pattern(*action.glob), false, false);
    if (!matcher.name->ok()) return failure("Invalid glob: " + matcher.name->error());
    matcher.glob_has_folder = action.glob->find('/') != std::string::npos;
  }
  if (!matcher.in_line && !matcher.name) return failure("Missing pattern (or a glob, to find files by name)");
  return matcher;
}

// The line as ChatGPT sees it: valid UTF-8, cut to a few hundred
// characters around the match on a long line.
std::string shown_line(std::string_view line, std::size_t match_at) {
  if (line.size() <= kShownChars) return lossy_utf8(line);
  std::size_t from = match_at > kCharsBeforeMatch ? match_at - kCharsBeforeMatch : 0;
  while (from > 0 && (static_cast<unsigned char>(line[from]) & 0xC0) == 0x80) --from;
  const std::string rest = lossy_utf8(line.substr(from, kShownChars * 4));
  const std::string_view kept = first_chars(rest, kShownChars);
  const bool cut_end = kept.size() < rest.size() || from + kShownChars * 4 < line.size();
  return (from > 0 ? "…" : "") + std::string(kept) + (cut_end ? "…" : "");
}

class Search {
 public:
  // `start` is the searched place, links resolved: the program's own state
  // below it stays out of reach, as it does for every action.
  Search(const Matcher& matcher, std::unordered_set<std::string> ignored, fs::path start)
      : matcher_(matcher), ignored_(std::move(ignored)), start_(std::move(start)) {}

  // `shown` is how results name the searched folder, `top` that folder
  // open; paths below it are as globs and Git's ignore list see them.
  void folder(UniqueFd top, const std::string& shown) {
    bool folds_case = false;  // of the folder being read
    const WalkRules rules{
        .order = WalkRules::Order::DepthFirstSorted,
        .max_depth = kMaxDepth,
        .skip =
            [&](const WalkEntry& entry) {
              if (entry.kind != WalkEntry::Kind::File && entry.kind != WalkEntry::Kind::Folder) return true;
              return protected_name(entry.name, folds_case).has_value();
            },
        .opened =
            [&](int fd, const std::string& relative, int depth) {
              if (depth > 0) {
                struct stat info;
                if (::fstat(fd, &info) != 0 || out_of_reach(relative, &info)) return false;
              }
              folds_case = folder_folds_case(fd);
              return true;
            },
    };
    // A folder that cannot be read holds nothing found.
    (void)walk_folder(std::move(top), rules, [&](const WalkEntry& entry) {
      if (done_) return WalkStep::Stop;
      const bool is_folder = entry.kind == WalkEntry::Kind::Folder;
      if (ignored_.contains(is_folder ? entry.relative + "/" : entry.relative)) return WalkStep::Next;
      if (is_folder) return WalkStep::Enter;
      file(entry.dir, std::string(entry.name), shown, entry.relative);
      return done_ ? WalkStep::Stop : WalkStep::Next;
    });
  }

  void file(int dir, const std::string& name, const std::string& shown, const std::string& relative) {
    if (++visited_ > kMaxVisitedFiles) {
      truncated_ = done_ = true;
      return;
    }
    if (matcher_.name && !RE2::FullMatch(matcher_.glob_has_folder ? relative : name, *matcher_.name)) return;
    const std::string path = shown == "." ? relative : shown + "/" + relative;
    if (!matcher_.in_line) {
      if (!out_of_reach(relative, nullptr)) add_result(path);
      return;
    }
    const UniqueFd fd{::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
    struct stat info;
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxSearchedBytes) return;
    if (out_of_reach(relative, &info)) return;
    auto content = read_fd(fd.get(), static_cast<std::size_t>(kMaxSearchedBytes));
    if (!content) return;
    if (std::memchr(content->data(), '\0', std::min(content->size(), kBinaryProbe)) != nullptr) return;
    lines(*content, path);
  }

  void lines(std::string_view content, const std::string& path) {
    if (!RE2::PartialMatch(content, *matcher_.in_file)) return;
    std::size_t number = 0;
    for (std::size_t start = 0; start < content.size() && !done_;) {
      const std::size_t feed = content.find('\n', start);
      const std::size_t next = feed == std::string_view::npos ? content.size() : feed + 1;
      std::string_view line = content.substr(start, next - start - (feed == std::string_view::npos ? 0 : 1));
      if (line.ends_with('\r')) line.remove_suffix(1);
      ++number;
      re2::StringPiece found;
      if (matcher_.in_line->Match(line, 0, line.size(), RE2::UNANCHORED, &found, 1)) {
        const std::size_t at = static_cast<std::size_t>(found.data() - line.data());
        add_result(Json{{"line", number}, {"path", path}, {"text", shown_line(line, at)}});
      }
      start = next;
    }
  }

  void add_result(Json result) {
    if (results_.size() == kMaxResults) {
      truncated_ = done_ = true;
      return;
    }
    results_.push_back(std::move(result));
  }

  bool out_of_reach(const std::string& relative, const struct stat* entry) const {
    return state_.holds(relative.empty() ? start_ : start_ / relative, entry);
  }

  const Json& results() const { return results_; }
  bool truncated() const { return truncated_; }

 private:
  const Matcher& matcher_;
  std::unordered_set<std::string> ignored_;
  fs::path start_;
  ProgramState state_;
  Json results_ = Json::array();
  std::size_t visited_ = 0;
  bool truncated_ = false;
  bool done_ = false;
};

// The files and folders below `folder` that Git ignores, as
// `git ls-files` names them ("build/" for a whole folder); none outside a
// repository or without Git.
std::unordered_set<std::string> git_ignored(const fs::path& folder) {
  std::unordered_set<std::string> ignored;
  auto listed = git_output(folder, {"ls-files", "-z", "--others", "--ignored", "--exclude-standard", "--directory"});
  if (!listed || !listed->status.success()) return ignored;
  std::string_view rest = listed->output;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\0');
    ignored.emplace(rest.substr(0, end));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return ignored;
}

// How results name the searched place: relative to the working folder, or
// absolute in another allowed folder.
std::string shown_place(const fs::path& resolved, const fs::path& base) {
  const fs::path relative = resolved.lexically_relative(base);
  if (relative.empty() || *relative.begin() == "..") return lossy_utf8(resolved.native());
  std::string shown = lossy_utf8(relative.native());
  return shown.empty() ? "." : shown;
}

std::string quoted_for_line(std::string_view text) {
  constexpr std::size_t kShown = 60;
  return "\"" + shortened(one_line_text(text), kShown) + "\"";
}

}  // namespace

std::string glob_pattern(std::string_view glob) {
  if (glob.starts_with('/')) glob.remove_prefix(1);
  std::string pattern;
  int braces = 0;
  for (std::size_t i = 0; i < glob.size(); ++i) {
    const char c = glob[i];
    if (c == '*' && glob.substr(i).starts_with("**/")) {
      pattern += "(?:.*/)?";
      i += 2;
    } else if (c == '*' && glob.substr(i).starts_with("**")) {
      pattern += ".*";
      ++i;
    } else if (c == '*') {
      pattern += "[^/]*";
    } else if (c == '?') {
      pattern += "[^/]";
    } else if (c == '[' && glob.find(']', i + 2) != std::string_view::npos) {
      std::size_t close = glob.find(']', i + 2);
      std::string_view inside = glob.substr(i + 1, close - i - 1);
      const bool negated = inside.starts_with('!') || inside.starts_with('^');
      if (negated) inside.remove_prefix(1);
      pattern += negated ? "[^/" : "[";
      for (char member : inside) pattern += member == '\\' || member == '[' ? std::string("\\") + member : std::string(1, member);
      pattern += "]";
      i = close;
    } else if (c == '{') {
      ++braces;
      pattern += "(?:";
    } else if (c == '}' && braces > 0) {
      --braces;
      pattern += ")";
    } else if (c == ',' && braces > 0) {
      pattern += "|";
    } else {
      pattern += RE2::QuoteMeta(std::string(1, c));
    }
  }
  for (; braces > 0; --braces) pattern += ")";
  return pattern;
}

Result<Json> search_action(const Action& action, ExecutionContext& context) {
  auto matcher = matcher_for(action);
  if (!matcher) return std::unexpected(matcher.error());
  const std::string requested = action.path.value_or(".");
  auto place = safe_path(context.base, context.roots, requested, false);
  if (!place) return std::unexpected(place.error());
  if (!place->folder || !place->target) return os_failure(ENOENT);
  const std::string shown = shown_place(place->resolved, context.base);
  const bool is_folder = S_ISDIR(place->target->st_mode);
  Search search(*matcher, is_folder ? git_ignored(place->resolved) : std::unordered_set<std::string>{},
                is_folder ? place->resolved : place->resolved.parent_path());
  if (is_folder) {
    auto folder = open_folder(*place);
    if (!folder) return std::unexpected(folder.error());
    search.folder(std::move(*folder), shown);
  } else if (S_ISREG(place->target->st_mode)) {
    // One file: named as it was asked for, and searched even if Git ignores it.
    const fs::path parent = fs::path(shown).parent_path();
    search.file(place->folder.get(), place->name, parent.empty() ? "." : parent.string(), place->name);
  } else {
    return failure("Not a regular file or a folder");
  }
  const std::size_t found = search.results().size();
  const std::string count = fmt::format("{}{}", found, search.truncated() ? "+" : "");
  const bool files_only = !matcher->in_line;
  progress(context.out, i18n::tr(kSearched),
           fmt::format(fmt::runtime(i18n::tr(files_only ? kFilesIn : kMatchesIn)),
                       quoted_for_line(files_only ? *action.glob : *action.pattern), one_line_text(shown), count));
  return Json{{files_only ? "files" : "matches", search.results()}, {"truncated", search.truncated()}};
}

}  // namespace wendlebox
