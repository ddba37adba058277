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

namespace fs = std::filesystem;

namespace {

constexpr i18n::Text kWindowsBrowser{"the Windows browser cannot read a page kept in Linux",
                                     "o navegador do Windows não consegue ler uma página guardada no Linux",
                                     "el navegador de Windows no puede leer una página guardada en Linux"};
constexpr i18n::Text kSnapWithoutRuntimeFolder{
    "{} is a snap browser, which can read a private page only in your runtime folder (XDG_RUNTIME_DIR), and there is "
    "no private one",
    "{} é um navegador snap, que só consegue ler uma página privada na sua pasta de execução (XDG_RUNTIME_DIR), e não "
    "há uma pasta privada",
    "{} es un navegador snap, que solo puede leer una página privada en tu carpeta de ejecución (XDG_RUNTIME_DIR), y "
    "no hay una privada"};
constexpr i18n::Text kNoPrivateFolder{"no private folder could hold the page ({})",
                                      "nenhuma pasta privada pôde guardar a página ({})",
                                      "ninguna carpeta privada pudo guardar la página ({})"};

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

using OpenFolder = std::pair<fs::path, UniqueFd>;

Result<OpenFolder> open_private(const fs::path& folder, bool make) {
  auto dir = open_private_folder(folder, make);
  if (!dir) return std::unexpected(dir.error());
  return OpenFolder{folder, std::move(*dir)};
}

// The user's runtime folder, when it is set, absolute and private.
Result<OpenFolder> runtime_folder(const EnvLookup& env) {
  const std::optional<std::string> set = env("XDG_RUNTIME_DIR");
  if (!set || !fs::path(*set).is_absolute()) return failure("XDG_RUNTIME_DIR is not set");
  return open_private(*set, false);
}

// Where `reader` can read a private page, opened, or why there is none.
Result<OpenFolder> page_folder(const PageReader& reader, const EnvLookup& env) {
  Result<OpenFolder> runtime = runtime_folder(env);
  switch (reader.kind) {
    case PageReader::Kind::Windows:
      return failure(std::string(i18n::tr(kWindowsBrowser)));
    case PageReader::Kind::Snap:
      // A snap may read its own folder in the runtime folder, and no other.
      if (runtime)
        if (auto folder = open_private(runtime->first / ("snap." + reader.snap), true)) return folder;
      return failure(fmt::format(fmt::runtime(i18n::tr(kSnapWithoutRuntimeFolder)), reader.snap));
    case PageReader::Kind::Native:
      break;
  }
  if (runtime) return runtime;
  // Without one (no session manager, or after su), a private folder of the
  // data folder, which itself may be open to others (setup makes it so).
  const fs::path data = data_dir(env);
  Result<OpenFolder> folder = std::unexpected(std::string());
  if (auto made = create_dirs(data, kPrivateFolder); !made) folder = std::unexpected(made.error());
  else folder = open_private(data / "pages", true);
  if (!folder) return failure(fmt::format(fmt::runtime(i18n::tr(kNoPrivateFolder)), folder.error()));
  return folder;
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
  auto folder = page_folder(reader, env);
  if (!folder) return std::unexpected(folder.error());
  auto name = random_hex(8);
  if (!name) return std::unexpected(name.error());
  const std::string file = fmt::format("wendlebox-open-{}.html", *name);
  const std::string html = fmt::format(
      "<!doctype html><html><head><meta charset=\"utf-8\"><meta name=\"referrer\" content=\"no-referrer\">"
      "<meta http-equiv=\"refresh\" content=\"0;url={0}\"><title>Wendlebox</title></head><body>"
      "<script>location.replace({1});</script><a href=\"{0}\">Open ChatGPT</a></body></html>\n",
      html_escaped(address), Json(address).dump());
  // Created private, so no one else can open it before the key is in it.
  const UniqueFd page{
      ::openat(folder->second.get(), file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kPrivateFile)};
  if (!page) return failure(fmt::format(fmt::runtime(i18n::tr(kNoPrivateFolder)), os_failure().error()));
  if (auto written = write_all(page.get(), html); !written) {
    ::unlinkat(folder->second.get(), file.c_str(), 0);
    return failure(fmt::format(fmt::runtime(i18n::tr(kNoPrivateFolder)), written.error()));
  }
  return folder->first / file;
}
