#include "session/forwarding_page.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <thread>

#include "support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

constexpr uid_t kOtherUser = 65534;  // nobody, as the tests' second user
const std::string kAddress = "https://chatgpt.com/#wendlebox=0123456789abcdef0123456789abcdef";

class ForwardingPage : public testing::Test {
 protected:
  EnvLookup env() const {
    return [this](std::string_view name) -> std::optional<std::string> {
      const auto found = vars.find(std::string(name));
      return found == vars.end() ? std::nullopt : std::optional<std::string>(found->second);
    };
  }
  static fs::perms mode(const fs::path& path) { return fs::status(path).permissions() & fs::perms::all; }

  TempDir home, runtime;
  std::map<std::string, std::string> vars{{"HOME", home.path.string()}};
};

TEST_F(ForwardingPage, GoesWhereItsBrowserCanReadItAndNoOtherUserCan) {
  const fs::path data = home.path / ".local/share/wendlebox";
  const fs::perms private_folder = fs::perms::owner_all;
  struct Case {
    const char* what;
    PageReader reader;
    bool runtime_set;
    fs::perms runtime_mode;
    fs::path folder;  // empty: no page
    std::string reason;
  };
  const std::vector<Case> cases{
      {"runtime folder", {}, true, private_folder, runtime.path, ""},
      {"runtime folder open to others", {}, true, fs::perms::owner_all | fs::perms::others_exec, data / "pages", ""},
      {"no runtime folder", {}, false, private_folder, data / "pages", ""},
      {"snap", {PageReader::Kind::Snap, "firefox"}, true, private_folder, runtime.path / "snap.firefox", ""},
      {"snap without runtime folder", {PageReader::Kind::Snap, "firefox"}, false, private_folder, {},
       "firefox is a snap browser, which can read a private page only in your runtime folder (XDG_RUNTIME_DIR), and "
       "there is no private one"},
      {"windows", {PageReader::Kind::Windows, ""}, true, private_folder, {},
       "the Windows browser cannot read a page kept in Linux"},
  };
  for (const Case& c : cases) {
    fs::permissions(runtime.path, c.runtime_mode);
    if (c.runtime_set) vars["XDG_RUNTIME_DIR"] = runtime.path.string();
    else vars.erase("XDG_RUNTIME_DIR");
    auto page = write_forwarding_page(c.reader, kAddress, env());
    if (c.folder.empty()) {
      ASSERT_FALSE(page) << c.what;
      EXPECT_EQ(page.error().message, c.reason) << c.what;
      continue;
    }
    ASSERT_TRUE(page) << c.what << ": " << page.error();
    EXPECT_EQ(page->parent_path(), c.folder) << c.what;
    EXPECT_EQ(mode(c.folder), private_folder) << c.what;
    EXPECT_EQ(mode(*page), fs::perms::owner_read | fs::perms::owner_write) << c.what;
    EXPECT_NE(read_text(*page).find("location.replace(\"" + kAddress + "\")"), std::string::npos) << c.what;
    fs::remove(*page);
  }
}

// The user's runtime folder after `su`, or any folder of another user's, is
// never used; nor is a page folder that someone else made first.
TEST_F(ForwardingPage, NeverGoesToAFolderOfAnotherUser) {
  if (!can_play_other_users()) GTEST_SKIP() << "needs root to stand in another user";
  fs::permissions(runtime.path, fs::perms::owner_all);
  ASSERT_EQ(::chown(runtime.path.c_str(), kOtherUser, kOtherUser), 0);
  vars["XDG_RUNTIME_DIR"] = runtime.path.string();
  auto page = write_forwarding_page({}, kAddress, env());
  ASSERT_TRUE(page) << page.error();
  EXPECT_EQ(page->parent_path(), home.path / ".local/share/wendlebox/pages");
  fs::remove(*page);

  const fs::path pages = home.path / ".local/share/wendlebox/pages";
  ASSERT_EQ(::chown(pages.c_str(), kOtherUser, kOtherUser), 0);
  page = write_forwarding_page({}, kAddress, env());
  ASSERT_FALSE(page);
  EXPECT_EQ(page.error().message,
            "no private folder could hold the page (" + pages.string() + " belongs to another user)");
}

// A runtime folder that takes no file (read-only) is passed over for the
// data folder's, not given up on.
TEST_F(ForwardingPage, ARuntimeFolderThatTakesNoFileIsPassedOver) {
  if (!can_play_other_users()) GTEST_SKIP() << "needs root for a read-only mount";
  fs::permissions(runtime.path, fs::perms::owner_all);
  vars["XDG_RUNTIME_DIR"] = runtime.path.string();
  const int status = in_own_mount_namespace([&] {
    if (::mount(runtime.path.c_str(), runtime.path.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        ::mount(nullptr, runtime.path.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
      return 2;
    auto page = write_forwarding_page({}, kAddress, env());
    return page && page->parent_path() == home.path / ".local/share/wendlebox/pages" ? 0 : 1;
  });
  EXPECT_EQ(status, 0);
}

// Another user watches the data folder (open to all, as setup makes it)
// and opens each page the moment it appears, to read it once it is
// written: none is ever theirs to open.
TEST_F(ForwardingPage, AnotherUserCannotOpenAPageEvenWhileItIsBeingWritten) {
  if (!can_play_other_users()) GTEST_SKIP() << "needs root to stand in another user";
  const fs::path data = home.path / ".local/share/wendlebox";
  fs::create_directories(data);
  for (fs::path folder = data; folder != home.path.parent_path(); folder = folder.parent_path())
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
  // Where the attacker says it is watching, and is told to stop: a folder
  // anyone may write.
  const fs::path ready = runtime.path / "ready", stop = runtime.path / "stop";
  fs::permissions(runtime.path, fs::perms::all);
  int leaked = -1;
  std::thread attacker([&] {
    leaked = as_other_user([&] {
      const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
      std::map<int, fs::path> folders{{::inotify_add_watch(watch, data.c_str(), IN_CREATE | IN_MOVED_TO), data}};
      bool watching_pages = false;
      std::vector<int> opened;
      write_text(ready, "");
      while (!fs::exists(stop)) {
        if (!watching_pages) {
          const int pages = ::inotify_add_watch(watch, (data / "pages").c_str(), IN_CREATE | IN_MOVED_TO);
          if (pages >= 0) folders[pages] = data / "pages", watching_pages = true;
        }
        alignas(inotify_event) char events[8192];
        const ssize_t n = ::read(watch, events, sizeof events);
        for (ssize_t at = 0; at < n;) {
          const auto* event = reinterpret_cast<const inotify_event*>(events + at);
          at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
          const int fd = event->len == 0 ? -1 : ::open((folders[event->wd] / event->name).c_str(), O_RDONLY | O_CLOEXEC);
          if (fd >= 0) opened.push_back(fd);
        }
      }
      std::string read;
      for (const int fd : opened) {
        char chunk[4096];
        for (ssize_t got; (got = ::read(fd, chunk, sizeof chunk)) > 0;) read.append(chunk, static_cast<std::size_t>(got));
      }
      return read.find("wendlebox=") == std::string::npos ? 0 : 1;
    });
  });
  EXPECT_TRUE(wait_until([&] { return fs::exists(ready); }));
  for (int i = 0; i < 200; ++i) {
    auto page = write_forwarding_page({}, kAddress, env());
    if (!page) {
      ADD_FAILURE() << page.error();
      break;
    }
    fs::remove(*page);
  }
  write_text(stop, "");
  attacker.join();
  EXPECT_EQ(leaked, 0) << "another user read the session's key";
}

}  // namespace

}  // namespace wendlebox
