#include "frontend/setup.h"
#include "frontend/setup_shell.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

#include "bridge/pairing.h"
#include "common/text.h"
#include "support/support.h"

namespace wendlebox {

namespace fs = std::filesystem;

namespace {

TEST(ShellWords, SplitLikeASimpleShell) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"wendlebox --chats", {"wendlebox", "--chats"}},
      {"  a   b  ", {"a", "b"}},
      {"cd \"my folder\"", {"cd", "my folder"}},
      {"say 'it''s' x", {"say", "its", "x"}},
      {"a\"b c\"d", {"ab cd"}},
      {"\"\" x", {"", "x"}},
      {"'unclosed quote", {"unclosed quote"}},
      {"\"it's\"", {"it's"}},
      {"tab\tand\u3000wide", {"tab", "and", "wide"}},
      {"", {}},
  };
  for (const auto& [line, words] : cases) EXPECT_EQ(split_shell_words(line, Backslash::Literal), words) << line;
}

class Setup : public testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(binary_path(), dist.path / "wendlebox");
    fs::permissions(dist.path / "wendlebox", fs::perms(0755));
  }
  CommandResult setup(const fs::path& program, std::map<std::string, std::string> env = {}) {
    return run_binary({.args = {"setup"}, .program = program, .cwd = home.path, .home = home.path, .env = std::move(env)});
  }
  std::string file(const char* name) { return read_text(home.path / name); }
  TempDir home, dist;
};

const std::string kBlock = "\n# Wendlebox CLI\nexport PATH=\"$HOME/.local/bin:$PATH\"\n";

TEST_F(Setup, InstallsTheCopyAndTheShellPathOnce) {
  CommandResult r = setup(dist.path / "wendlebox", {{"SHELL", "/bin/sh"}});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  const fs::path installed = home.path / ".local/bin/wendlebox";
  EXPECT_LT(fs::file_size(installed), fs::file_size(binary_path()));  // stripped
  EXPECT_EQ(run_binary({.args = {"--help"}, .program = installed}).exit_code, 0);
  EXPECT_EQ(fs::status(installed).permissions(), fs::perms(0755));
  EXPECT_EQ(file(".profile"), kBlock);
  EXPECT_FALSE(fs::exists(home.path / ".bashrc"));
  EXPECT_TRUE(r.out.starts_with("Added wendlebox to PATH in " + (home.path / ".profile").string() +
                                "\n\nWendlebox was installed successfully. " + installed.string() +
                                "\n\nWendlebox --help:\n\nWendlebox  |  Contact: ")) << r.out;
  EXPECT_TRUE(r.out.ends_with("\n" + std::string(60, '=') + "\nThe extension was not bundled with this executable. "
                              "Install Wendlebox in the browser you use for ChatGPT.\n" + std::string(60, '=') + "\n"));
  r = setup(dist.path / "wendlebox", {{"SHELL", "/bin/sh"}});
  EXPECT_TRUE(r.out.starts_with("PATH already set in " + (home.path / ".profile").string() + "\n")) << r.out;
  EXPECT_EQ(file(".profile"), kBlock);
}

TEST_F(Setup, RunningTheInstalledCopyCopiesNothing) {
  ASSERT_EQ(setup(dist.path / "wendlebox").exit_code, 0);
  const fs::path installed = home.path / ".local/bin/wendlebox";
  struct stat before, after;
  ::stat(installed.c_str(), &before);
  fs::remove(home.path / ".profile");
  CommandResult r = setup(installed);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  ::stat(installed.c_str(), &after);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(file(".profile"), kBlock);
}

TEST_F(Setup, EachShellGetsItsOwnStartUpFile) {
  write_text(home.path / ".profile", "# PATH has ~/.local/bin already\n");
  ASSERT_EQ(setup(dist.path / "wendlebox", {{"SHELL", "/usr/bin/zsh"}}).exit_code, 0);
  EXPECT_EQ(file(".profile"), "# PATH has ~/.local/bin already\n");
  // Completion gets a block of its own after the PATH one.
  EXPECT_TRUE(file(".zshrc").starts_with(kBlock + "\n# Wendlebox completion\nfpath=('" + home.path.string())) << file(".zshrc");
  ASSERT_EQ(setup(dist.path / "wendlebox", {{"SHELL", "/usr/local/bin/fish"}}).exit_code, 0);
  EXPECT_EQ(file(".config/fish/config.fish"), "\n# Wendlebox CLI\nset -gx PATH $HOME/.local/bin $PATH\n");
  ASSERT_EQ(setup(dist.path / "wendlebox", {{"SHELL", "/bin/bash"}}).exit_code, 0);
  EXPECT_TRUE(file(".bashrc").starts_with(kBlock + "\n# Wendlebox completion\n[ -r '" + home.path.string()))
      << file(".bashrc");
}

TEST_F(Setup, TheExtensionIsCopiedToTheDataFolderWhichTheGuidanceNames) {
  write_text(dist.path / "extension/manifest.json", "{\"version\": \"1.0\"}");
  CommandResult r = setup(dist.path / "wendlebox", {{"LANG", "pt_BR.UTF-8"}});
  const fs::path installed = home.path / ".local/share/wendlebox/extension";
  EXPECT_NE(r.out.find("ÚLTIMO PASSO: adicione a extensão ao navegador (uma vez, ~30 segundos)\nA extensão está "
                       "instalada, pronta para usar, nesta pasta:\n    " + installed.string() + "\nEla fica dentro de "
                       "uma pasta oculta, que as janelas de arquivos não listam: na janela de \"Carregar sem "
                       "compactação\" digite ou cole este caminho (Ctrl+L abre um campo de local), ou pressione Ctrl+H "
                       "para mostrar as pastas ocultas.\n  1. No navegador"),
            std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("extensão foi atualizada"), std::string::npos);
  // An update: the copy is replaced and the browser must reload it.
  write_text(dist.path / "extension/manifest.json", "{\"version\": \"1.1\"}");
  r = setup(dist.path / "wendlebox");
  EXPECT_NE(r.out.find("The extension was updated: press the reload button"), std::string::npos) << r.out;
  // Removing what was downloaded leaves the loaded extension in place.
  fs::remove_all(dist.path / "extension");
  EXPECT_EQ(read_text(installed / "manifest.json"), "{\"version\": \"1.1\"}");
  EXPECT_NE(setup(dist.path / "wendlebox").out.find("The extension was not bundled"), std::string::npos);
}

// The installed extension (the folder and the Firefox package) carries the
// program's pairing key, keeps it through a second setup (a loaded extension
// stays paired), and no other user can read it, even where every folder on
// the way is open to all.
TEST_F(Setup, PairsTheInstalledExtensionWithTheProgramPrivately) {
  write_text(dist.path / "extension/manifest.json", "{\"version\": \"1.0\"}");
  for (const auto& entry : fs::directory_iterator(fs::path(binary_path()).parent_path()))
    if (entry.path().extension() == ".xpi") fs::copy_file(entry.path(), dist.path / entry.path().filename());
  ASSERT_EQ(setup(dist.path / "wendlebox").exit_code, 0);
  const fs::path data = home.path / ".local/share/wendlebox";
  const std::string key = read_text(data / "pairing-key");
  const fs::path pairing = data / "extension/pairing.json";
  const fs::path package = data / "wendlebox.xpi";
  EXPECT_EQ(read_text(pairing), "{\"key\":\"" + key + "\"}");
  EXPECT_NE(read_text(package).find(read_text(pairing)), std::string::npos);  // stored as it is
  ASSERT_EQ(setup(dist.path / "wendlebox").exit_code, 0);
  EXPECT_EQ(read_text(pairing), "{\"key\":\"" + key + "\"}");
  if (!can_play_other_users()) GTEST_SKIP() << "needs root to act as a second user";
  for (const fs::path& folder : {home.path, home.path / ".local", home.path / ".local/share", data, data / "extension"})
    fs::permissions(folder, fs::perms(0755));
  const int readable = as_other_user([&] {
    int found = 0;
    for (const fs::path& file : {data / "pairing-key", pairing, package}) found = 2 * found + (::open(file.c_str(), O_RDONLY) >= 0);
    return found;
  });
  EXPECT_EQ(readable, 0) << "bits: the program's key, the extension's, the Firefox package";
}

// Installed by the system (program in <prefix>/bin, extension in
// <prefix>/share): no copy in ~/.local/bin to shadow later upgrades.
TEST_F(Setup, ASystemInstallationGetsNoCopyInTheUsersFolder) {
  fs::create_directories(dist.path / "usr/bin");
  fs::copy_file(binary_path(), dist.path / "usr/bin/wendlebox");
  write_text(dist.path / "usr/share/wendlebox/extension/manifest.json", "{\"version\": \"1.0\"}");
  CommandResult r = setup(dist.path / "usr/bin/wendlebox", {{"SHELL", "/bin/bash"}});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(r.out.starts_with("Wendlebox is installed by the system at " + (dist.path / "usr/bin/wendlebox").string() +
                                ": setup puts no copy of it in ~/.local/bin")) << r.out;
  EXPECT_FALSE(fs::exists(home.path / ".local/bin"));
  EXPECT_FALSE(fs::exists(home.path / ".bashrc"));
  EXPECT_TRUE(fs::exists(home.path / ".local/share/wendlebox/extension/manifest.json"));
}

// Run again from the copy it installed, setup neither calls itself a
// system installation nor loses the Firefox package it put in place.
TEST_F(Setup, RunAgainFromTheInstalledCopySaysTrueThings) {
  write_text(dist.path / "extension/manifest.json", "{\"version\": \"1.0\"}");
  // A real package: setup adds the pairing to it.
  fs::copy_file(fs::path(binary_path()).parent_path() / ("wendlebox-" WENDLEBOX_VERSION ".xpi"),
                dist.path / ("wendlebox-" WENDLEBOX_VERSION ".xpi"));
  TempDir bin;
  write_script(bin.path / "firefox-esr", "exit 0");
  const std::map<std::string, std::string> env{{"SHELL", "/bin/sh"}, {"PATH", bin.path.string() + ":/usr/bin:/bin"}};
  ASSERT_EQ(setup(dist.path / "wendlebox", env).exit_code, 0);
  const fs::path installed = home.path / ".local/bin/wendlebox";
  CommandResult again = setup(installed, env);
  EXPECT_EQ(again.exit_code, 0) << again.err;
  EXPECT_NE(again.out.find("\nWendlebox is installed: " + installed.string() + "\n"), std::string::npos) << again.out;
  EXPECT_EQ(again.out.find("installed by the system"), std::string::npos) << again.out;
  EXPECT_EQ(again.out.find("did not come with this program"), std::string::npos) << again.out;
  EXPECT_NE(again.out.find(home.path.string() + "/.local/share/wendlebox/wendlebox.xpi\n"), std::string::npos) << again.out;
}

// What a user meets after setup, in new shells: the manual, completion in
// bash, zsh and fish; then uninstall leaves nothing of it behind.
class Installed : public Setup {
 protected:
  void SetUp() override {
    Setup::SetUp();
    const fs::path build = fs::path(binary_path()).parent_path();
    fs::copy(build / "completion", dist.path / "completion", fs::copy_options::recursive);
    fs::copy_file(build / "wendlebox.1", dist.path / "wendlebox.1");
    write_text(dist.path / "extension/manifest.json", "{\"version\": \"1.0\"}");
  }
  // Tab after `typed` in a new interactive `shell` started in the home
  // folder; true when the screen then shows `expected`.
  bool completes(const std::string& shell, const std::string& typed, const std::string& expected) {
    RunningBinary run({.args = {"-i"}, .program = shell, .cwd = home.path, .home = home.path,
                       .env = {{"TERM", "xterm"}, {"PS1", "$ "}, {"SHELL", shell}},
                       .path_prefix = (home.path / ".local/bin").string(), .terminal = true});
    run.send_input(typed + "\t");
    const bool shown = wait_until([&] {
      const std::string screen = run.output_so_far();
      return screen.find(expected) != std::string::npos;
    }, std::chrono::seconds(20));
    if (!shown) ADD_FAILURE() << shell << " showed:\n" << run.output_so_far();
    run.send_input("\x03exit\n");
    run.finish(std::chrono::seconds(5));
    return shown;
  }
  // What `find ~ -iname '*wendlebox*'` lists (shells leave their own files).
  std::vector<std::string> named_wendlebox() {
    std::vector<std::string> paths;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(home.path))
      if (ascii_lower(entry.path().filename().string()).find("wendlebox") != std::string::npos)
        paths.push_back(fs::relative(entry.path(), home.path).string());
    std::ranges::sort(paths);
    return paths;
  }
};

TEST_F(Installed, ManualAndCompletionWorkInNewShellsAndUninstallTakesThemAway) {
  for (const char* shell : {"/bin/bash", "/usr/bin/zsh", "/usr/bin/fish"}) {
    if (!fs::exists(shell)) continue;  // install-deps --tests brings them
    ASSERT_EQ(setup(dist.path / "wendlebox", {{"SHELL", shell}}).exit_code, 0);
  }
  CommandResult man = run_binary({.args = {"-w", "wendlebox"}, .program = "/usr/bin/man", .home = home.path,
                                  .path_prefix = (home.path / ".local/bin").string()});
  EXPECT_EQ(man.out, (home.path / ".local/share/man/man1/wendlebox.1").string() + "\n") << man.err;
  for (const char* shell : {"/bin/bash", "/usr/bin/zsh", "/usr/bin/fish"})
    if (fs::exists(shell)) {
      EXPECT_TRUE(completes(shell, "wendlebox --chats-a", "--chats-all")) << shell;
    }
  CommandResult doctor = run_binary({.args = {"doctor"}, .home = home.path, .env = {{"SHELL", "/bin/bash"}}});
  EXPECT_NE(doctor.out.find("\nManual page: " + home.path.string() + "/.local/share/man/man1/wendlebox.1\n"
                            "Shell completion (bash): " + home.path.string() +
                            "/.local/share/bash-completion/completions/wendlebox\n"), std::string::npos) << doctor.out;

  write_text(home.path / ".bashrc", read_text(home.path / ".bashrc") + "alias ll='ls -l'\n");
  write_text(home.path / ".config/wendlebox/settings.json", "{}");
  CommandResult removed = run_binary({.args = {"uninstall"}, .program = home.path / ".local/bin/wendlebox",
                                      .home = home.path});
  EXPECT_EQ(removed.exit_code, 0) << removed.err;
  EXPECT_TRUE(removed.out.starts_with("Removed: " + home.path.string() + "/.local/bin/wendlebox\n")) << removed.out;
  EXPECT_NE(removed.out.find("Removed the Wendlebox lines from " + home.path.string() + "/.bashrc\n"), std::string::npos);
  EXPECT_NE(removed.out.find("Kept your settings and saved chats in " + home.path.string() + "/.config/wendlebox: "
                             "wendlebox uninstall --purge removes them too.\n"), std::string::npos) << removed.out;
  EXPECT_EQ(read_text(home.path / ".bashrc"), "alias ll='ls -l'\n");  // the user's own line stays
  EXPECT_EQ(named_wendlebox(), (std::vector<std::string>{".config/wendlebox"}));
  EXPECT_FALSE(fs::exists(home.path / ".profile"));  // it held nothing but setup's lines
  EXPECT_EQ(run_binary({.args = {"uninstall", "--purge"}, .home = home.path}).exit_code, 0);
  EXPECT_EQ(named_wendlebox(), std::vector<std::string>{});
  doctor = run_binary({.args = {"doctor"}, .home = home.path, .env = {{"SHELL", "/usr/bin/zsh"}}});
  EXPECT_NE(doctor.out.find("Manual page: not installed, so man wendlebox finds nothing."), std::string::npos);
  EXPECT_NE(doctor.out.find("Shell completion (zsh): not set up, so Tab completes nothing after wendlebox."),
            std::string::npos) << doctor.out;
}

TEST_F(Setup, FailsWithoutHome) {
  CommandResult r = run_binary({.args = {"setup"}, .program = dist.path / "wendlebox", .cwd = dist.path});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "Wendlebox: HOME is unavailable\n");
}

TEST(Doctor, ReportsWhatItFinds) {
  TempDir home, bin;
  write_script(bin.path / "gio", "exit 0");
  CommandResult r = run_binary({.args = {"doctor"}, .home = home.path, .path_prefix = bin.path.string()});
  EXPECT_EQ(r.exit_code, 0);
  const std::string extension = (fs::path(binary_path()).parent_path() / "extension").string();
  const std::string config = (home.path / ".config/wendlebox").string();
  EXPECT_TRUE(r.out.starts_with("CLI: " + binary_path() + "\nBrowser opener: " + (fs::exists("/usr/bin/xdg-open") ? "xdg-open" : "gio") +
                       "\nGit: available\nExtension folder: " + extension + "\nExtension version: " WENDLEBOX_VERSION
                       "; last seen in a browser: not seen yet\nExtension: enable Wendlebox in the browser that opens ChatGPT.\n")) << r.out;
  EXPECT_TRUE(r.out.ends_with("Settings: " + config + "/settings.json (not created yet)\nAllowed folders: " + config +
                              "/allowed-folders.json (not created yet)\nSaved chats: " + config +
                              "/chats.json (not created yet)\nChat logs: .wendlebox/chatlogs in each project folder\n"
                              "Sessions running: none\nConfig folder: " + config + " (writable)\nData folder: " + home.path.string() +
                              "/.local/share/wendlebox (writable)\n")) << r.out;
  write_text(home.path / ".config/wendlebox/extension-seen", "0.0.9");
  // When it was seen is the file's time: 2026-01-02 03:04:05 UTC.
  const struct timespec seen[2] = {{1767323045, 0}, {1767323045, 0}};
  ::utimensat(AT_FDCWD, (home.path / ".config/wendlebox/extension-seen").c_str(), seen, 0);
  r = run_binary({.args = {"doctor"}, .home = home.path,
                  .env = {{"PATH", bin.path.string()}, {"LANG", "es"}, {"TZ", "UTC"}}});
  EXPECT_TRUE(r.out.starts_with("CLI: " + binary_path() + "\nAbridor de navegador: gio\nGit: no encontrado (se omitirán los commits)\n"
                   "Carpeta de la extensión: " + extension + "\nVersión de la extensión: " WENDLEBOX_VERSION
                   "; vista por última vez en un navegador: 0.0.9 (2026-01-02 03:04)\n"
                   "Extensión: activa Wendlebox en el navegador que abre ChatGPT.\n")) << r.out;
  // A stored version is the extension's word, not the program's: it cannot talk to the terminal.
  write_text(home.path / ".config/wendlebox/extension-seen", "\x1b]0;owned\x07\n2.0");
  r = run_binary({.args = {"doctor"}, .home = home.path, .path_prefix = bin.path.string()});
  EXPECT_NE(r.out.find("last seen in a browser: \\x1b]0;owned\\x07⏎2.0 ("), std::string::npos) << r.out;
}

// doctor sees whether the extension setup installed holds the program's
// pairing key: after uninstall and setup again, a browser that kept the
// old copy is refused, and only doctor can say so before a session.
TEST(Doctor, ChecksThatTheInstalledExtensionHoldsTheProgramsPairingKey) {
  TempDir home, bin;
  write_script(bin.path / "gio", "exit 0");
  const fs::path data = home.path / ".local/share/wendlebox";
  write_text(data / "extension/manifest.json", "{\"version\": \"1.0\"}");
  write_text(data / "extension/pairing.json", extension_pairing(std::string(64, 'a')));
  write_text(data / "pairing-key", std::string(64, 'a'));
  CommandResult r = run_binary({.args = {"doctor"}, .home = home.path, .path_prefix = bin.path.string()});
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("\nExtension pairing: the installed extension holds this program's key\n"), std::string::npos)
      << r.out;
  for (const char* other : {"{\"key\":\"bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb\"}", "{\"key\":5}", ""}) {
    write_text(data / "extension/pairing.json", other);
    r = run_binary({.args = {"doctor"}, .home = home.path, .env = {{"LANG", "pt_BR"}}, .path_prefix = bin.path.string()});
    EXPECT_EQ(r.exit_code, 1) << other;
    EXPECT_NE(r.out.find("PROBLEMA: a extensão instalada em " + (data / "extension").string() +
                         " tem uma chave de pareamento diferente da deste programa. Execute wendlebox setup e depois "
                         "recarregue o Wendlebox na página de extensões do navegador.\n"),
              std::string::npos) << other << r.out;
  }
}

// doctor names the browser a session opens and how to add the extension to
// each browser it finds.
TEST(Doctor, NamesTheSessionBrowserAndTheBrowsersFound) {
  TempDir home, bin;
  write_script(bin.path / "firefox-devedition", "exit 0");
  write_text(home.path / ".config/wendlebox/settings.json", "{\"browser\": \"firefox-devedition -P work\"}");
  write_text(home.path / ".config/wendlebox/extension-seen-in", "chromium");
  CommandResult r = run_binary({.args = {"doctor"}, .home = home.path, .path_prefix = bin.path.string()});
  EXPECT_NE(r.out.find("\nBrowser for sessions: firefox-devedition (chosen with --browser)\n"
                       "Extension last seen in: chromium\nBrowsers found: "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("firefox-devedition", r.out.find("Browsers found: ")), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  In firefox-devedition, which keeps an add-on that Mozilla has not signed:\n"), std::string::npos);
  EXPECT_NE(r.out.find("wendlebox-" WENDLEBOX_VERSION ".xpi\n"), std::string::npos) << r.out;
}

// What would stop a session makes doctor fail, naming the file; two copies
// of the program on PATH are pointed out.
TEST(Doctor, FailsOnADamagedStateFileAndSeesTwoCopiesOnPath) {
  TempDir home, bin, other;
  write_script(bin.path / "gio", "exit 0");
  fs::copy_file(binary_path(), bin.path / "wendlebox");
  fs::copy_file(binary_path(), other.path / "wendlebox");
  write_text(home.path / ".config/wendlebox/settings.json", "{\"sounds\": tru");
  CommandResult r = run_binary({.args = {"doctor"}, .home = home.path,
                                .path_prefix = bin.path.string() + ":" + other.path.string()});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.out.find("Settings: " + (home.path / ".config/wendlebox/settings.json").string() +
                       " (PROBLEM: Could not read Wendlebox settings from " + (home.path / ".config/wendlebox/settings.json").string() +
                       ": "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(". Fix the file, or move it away to start again from the defaults.)\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("WARNING: 2 copies of wendlebox are on PATH; the first one runs: " + (bin.path / "wendlebox").string()),
            std::string::npos) << r.out;
  EXPECT_EQ(r.err, "Wendlebox: Something above would stop a session: fix it and run wendlebox doctor again.\n");
}

}  // namespace

namespace {

// Completion as a user meets it: bash on a terminal, Tab twice after --ch.
TEST(Completion, BashOffersTheChatOptions) {
  TempDir home;
  const fs::path script = fs::path(binary_path()).parent_path() / "completion/wendlebox.bash";
  RunningBinary bash({.args = {"--norc", "--noprofile", "-i"}, .program = "/bin/bash", .home = home.path,
                      .env = {{"PS1", "$ "}, {"TERM", "dumb"}}, .terminal = true});
  bash.send_input("source '" + script.string() + "'\n");
  bash.send_input("wendlebox --ch\t");  // completes what the chat options share, then lists them
  const auto screen_without_bells = [&] {
    std::string screen = bash.output_so_far();
    std::erase(screen, '\a');
    return screen;
  };
  ASSERT_TRUE(wait_until([&] { return screen_without_bells().find("$ wendlebox --chat") != std::string::npos; }))
      << bash.output_so_far();
  bash.send_input("\t\t");
  EXPECT_TRUE(wait_until([&] {
    const std::string screen = screen_without_bells();
    const std::size_t typed = screen.find("$ wendlebox --ch");
    return typed != std::string::npos && screen.find("--chatlog", typed) != std::string::npos &&
           screen.find("--chats-all", typed) != std::string::npos;
  })) << bash.output_so_far();
}

}  // namespace

}  // namespace wendlebox
