#include "session/forwarding_page.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include "common/files.h"
#include "common/json.h"
#include "common/random.h"
#include "i18n/i18n.h"
#include "state/app_dirs.h"
#include "session/messages.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

using namespace messages::session;

// A folder of this user's own that no one else can enter or list, opened;
// made (private) first when `make` is set and it is missing.
Result<UniqueFd> open_private_folder(const fs::path& folder, bool make) {
  if (make && ::mkdir(folder.c_str(), kPrivateFolder) != 0 && errno != EEXIST) return os_failure();
  UniqueFd dir{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (!dir) return os_failure();
  struct stat info {};
  if (::fstat(dir.get(), &info) != 0) return os_failure();
  if (info.st_uid != ::geteuid()) return failure(folder.string() + " belongs to another user");
  if ((info.st_mode & 077) != 0) return failure(folder.string() + " is open to other users");
  return dir;
}

// Creates the page in `folder`, one of this user's own closed to others,
// made first when `make` is set. Created private, so no one else can open
// it before the key is in it.
Result<fs::path> create_page(const fs::path& folder, bool make, const std::string& file, std::string_view html) {
  auto dir = open_private_folder(folder, make);
  if (!dir) return std::unexpected(dir.error());
  const UniqueFd page{::openat(dir->get(), file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kPrivateFile)};
  if (!page) return os_failure();
  if (auto written = write_all(page.get(), html); !written) {
    ::unlinkat(dir->get(), file.c_str(), 0);
    return std::unexpected(written.error());
  }
  return folder / file;
}

// The user's runtime folder, when it is set and absolute.
std::optional<fs::path> runtime_folder(const EnvLookup& env) {
  const std::optional<std::string> set = env("XDG_RUNTIME_DIR");
  if (!set || !fs::path(*set).is_absolute()) return std::nullopt;
  return fs::path(*set);
}

// Writes the page where `reader` can read it: the first private folder
// that takes it, or why there is none.
Result<fs::path> place_page(const PageReader& reader, const std::string& file, std::string_view html,
                            const EnvLookup& env) {
  const std::optional<fs::path> runtime = runtime_folder(env);
  switch (reader.kind) {
    case PageReader::Kind::Windows:
      return failure(std::string(i18n::tr(kWindowsBrowser)));
    case PageReader::Kind::Snap:
      // A snap may read its own folder in the runtime folder, and no other.
      if (runtime && open_private_folder(*runtime, false))
        if (auto page = create_page(*runtime / ("snap." + reader.snap), true, file, html)) return page;
      return failure(fmt::format(fmt::runtime(i18n::tr(kSnapWithoutRuntimeFolder)), reader.snap));
    case PageReader::Kind::Native:
      break;
  }
  if (runtime)
    if (auto page = create_page(*runtime, false, file, html)) return page;
  // Without one (no session manager, or after su), a private folder of the
  // data folder, which itself may be open to others (setup makes it so).
  const fs::path data = data_dir(env);
  Result<fs::path> page = failure("");
  if (auto made = create_dirs(data, kPrivateFolder); !made) page = std::unexpected(made.error());
  else page = create_page(data / "pages", true, file, html);
  if (!page) return failure(fmt::format(fmt::runtime(i18n::tr(kNoPrivateFolder)), page.error()));
  return page;
}

std::string html_escaped(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '&') escaped += "&amp;";
    else if (c == '"') escaped += "&quot;";
    else if (c == '<') escaped += "&lt;";
    else escaped += c;
  }
  return escaped;
}

}  // namespace

Result<fs::path> write_forwarding_page(const PageReader& reader, const std::string& address, const EnvLookup& env) {
  auto name = random_hex(8);
  if (!name) return std::unexpected(name.error());
  const std::string html = fmt::format(
      "<!doctype html><html><head><meta charset=\"utf-8\"><meta name=\"referrer\" content=\"no-referrer\">"
      "<meta http-equiv=\"refresh\" content=\"0;url={0}\"><title>Wendlebox</title></head><body>"
      "<script>location.replace({1});</script><a href=\"{0}\">Open ChatGPT</a></body></html>\n",
      html_escaped(address), Json(address).dump());
  return place_page(reader, fmt::format("wendlebox-open-{}.html", *name), html, env);
}

}  // namespace wendlebox
