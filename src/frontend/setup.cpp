#include "frontend/setup.h"
#include "common/printer.h"

#include <iostream>

#include <fmt/format.h>

#include "bridge/pairing.h"
#include "common/env.h"
#include "common/files.h"
#include "common/folders.h"
#include "common/json.h"
#include "process/process.h"
#include "common/text.h"
#include "frontend/browsers.h"
#include "frontend/help.h"
#include "frontend/setup_shell.h"
#include "i18n/i18n.h"
#include "state/allowed.h"
#include "state/app_dirs.h"
#include "state/settings.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kExportLine = "export PATH=\"$HOME/.local/bin:$PATH\"";
constexpr std::string_view kFishLine = "set -gx PATH $HOME/.local/bin $PATH";
constexpr std::string_view kPathMarker = "\n# Wendlebox CLI\n";
constexpr std::string_view kCompletionMarker = "\n# Wendlebox completion\n";

// `path` as one word in bash or zsh: in single quotes, each quote closed,
// escaped and reopened.
std::string shell_quoted(const fs::path& path) {
  std::string quoted = "'";
  for (char c : path.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

constexpr i18n::Text kInstalled{"Wendlebox was installed successfully.", "O Wendlebox foi instalado com sucesso.",
                                "Wendlebox se instaló correctamente."};
constexpr i18n::Text kNotBundled{
    "The extension was not bundled with this executable. Install Wendlebox in the browser you use for ChatGPT.",
    "A extensão não veio incluída neste executável. Instale o Wendlebox no navegador que você usa para o ChatGPT.",
    "La extensión no venía incluida en este ejecutable. Instala Wendlebox en el navegador que usas para ChatGPT."};
constexpr i18n::Text kHeading{"LAST STEP: add the extension to your browser (one time, ~30 seconds)",
                              "ÚLTIMO PASSO: adicione a extensão ao navegador (uma vez, ~30 segundos)",
                              "ÚLTIMO PASO: añade la extensión a tu navegador (una vez, ~30 segundos)"};
constexpr i18n::Text kIntroduction{
    "The extension is installed, ready to use, in this folder:",
    "A extensão está instalada, pronta para usar, nesta pasta:",
    "La extensión está instalada, lista para usar, en esta carpeta:"};
constexpr i18n::Text kHiddenFolder{
    "It is inside a hidden folder, which file dialogs do not list: in the \"Load unpacked\" dialog type or paste this "
    "path (Ctrl+L opens a location field), or press Ctrl+H to show hidden folders.",
    "Ela fica dentro de uma pasta oculta, que as janelas de arquivos não listam: na janela de \"Carregar sem "
    "compactação\" digite ou cole este caminho (Ctrl+L abre um campo de local), ou pressione Ctrl+H para mostrar as "
    "pastas ocultas.",
    "Está dentro de una carpeta oculta, que los diálogos de archivos no muestran: en el diálogo de \"Cargar "
    "descomprimida\" escribe o pega esta ruta (Ctrl+L abre un campo de ubicación), o pulsa Ctrl+H para mostrar las "
    "carpetas ocultas."};
constexpr i18n::Text kSteps{
    "  1. In the browser you use for ChatGPT, open edge://extensions (or chrome://extensions).\n"
    "  2. Turn on \"Developer mode\".\n"
    "  3. Click \"Load unpacked\" and select the folder shown above.\n"
    "  4. Open a new terminal in your project folder and run:  wendlebox \"your task\"",
    "  1. No navegador que você usa para o ChatGPT, abra edge://extensions (ou chrome://extensions).\n"
    "  2. Ative o \"Modo do desenvolvedor\".\n"
    "  3. Clique em \"Carregar sem compactação\" e selecione a pasta indicada acima.\n"
    "  4. Abra um novo terminal na pasta do seu projeto e execute:  wendlebox \"sua tarefa\"",
    "  1. En el navegador que usas para ChatGPT, abre edge://extensions (o chrome://extensions).\n"
    "  2. Activa el \"Modo de desarrollador\".\n"
    "  3. Pulsa \"Cargar descomprimida\" y elige la carpeta indicada arriba.\n"
    "  4. Abre una terminal nueva en la carpeta de tu proyecto y ejecuta:  wendlebox \"tu tarea\""};
constexpr i18n::Text kTip{
    "TIP: the wendlebox command works in any folder. Open a terminal there (right-click the folder > Open in Terminal) "
    "and run it.",
    "DICA: o comando wendlebox funciona em qualquer pasta. Abra um terminal nela (clique com o botão direito na pasta > "
    "Abrir no Terminal) e execute.",
    "CONSEJO: el comando wendlebox funciona en cualquier carpeta. Abre una terminal en ella (clic derecho en la carpeta "
    "> Abrir en Terminal) y ejecútalo."};
constexpr i18n::Text kSystemInstallation{
    "Wendlebox is installed by the system at {}: setup puts no copy of it in ~/.local/bin, which would hide its "
    "updates.",
    "O Wendlebox está instalado pelo sistema em {}: o setup não põe uma cópia dele em ~/.local/bin, que esconderia "
    "suas atualizações.",
    "Wendlebox está instalado por el sistema en {}: setup no pone una copia en ~/.local/bin, que ocultaría sus "
    "actualizaciones."};
constexpr i18n::Text kShellEdited{"Added wendlebox to PATH in", "Wendlebox adicionado ao PATH em",
                                  "Wendlebox añadido al PATH en"};
constexpr i18n::Text kShellAlreadySet{"PATH already set in", "PATH já configurado em", "PATH ya configurado en"};
constexpr i18n::Text kManualAndCompletion{
    "In a new terminal, man wendlebox shows the manual and Tab completes wendlebox's options and saved chats.",
    "Num novo terminal, man wendlebox mostra o manual e Tab completa as opções e os chats salvos do wendlebox.",
    "En una terminal nueva, man wendlebox muestra el manual y Tab completa las opciones y los chats guardados de "
    "wendlebox."};
constexpr i18n::Text kAlreadyInstalled{"Wendlebox is installed:", "O Wendlebox está instalado:",
                                       "Wendlebox está instalado:"};
constexpr i18n::Text kExtensionUpdated{
    "The extension was updated: press the reload button of Wendlebox in edge://extensions (or chrome://extensions).",
    "A extensão foi atualizada: clique no botão de recarregar do Wendlebox em edge://extensions (ou "
    "chrome://extensions).",
    "La extensión se actualizó: pulsa el botón de recargar de Wendlebox en edge://extensions (o chrome://extensions)."};
}  // namespace

Result<fs::path> running_executable() {
  std::error_code error;
  fs::path path = fs::read_symlink("/proc/self/exe", error);
  if (error) return os_failure(error.value());
  return path;
}

namespace {

// A failure that names the file or folder it happened to.
std::unexpected<Error> failed_at(const fs::path& path, std::string_view error) {
  return failure(fmt::format("Could not install {}: {}", path.string(), error));
}
std::unexpected<Error> failed_at(const fs::path& path, const Error& error) { return failed_at(path, error.message); }

Status install_copy(const fs::path& running, const fs::path& installed) {
  if (running == installed) return {};
  const fs::path temporary = installed.parent_path() / fmt::format(".wendlebox-install-{}", ::getpid());
  std::error_code error;
  fs::copy_file(running, temporary, fs::copy_options::overwrite_existing, error);
  if (!error) fs::permissions(temporary, fs::perms(0755), error);
  // The installed copy needs no debugging symbols (a fifth of the size); a
  // machine without strip keeps them.
  if (!error) (void)run_process(ProcessSpec{.argv = {"strip", "--strip-unneeded", temporary.string()},
                                            .output = OutputMode::Discard, .errors = OutputMode::Discard});
  if (!error) fs::rename(temporary, installed, error);
  if (error) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return failed_at(installed, os_error_text(error.value()));
  }
  return {};
}

// The extension the browser loads lives in the data folder, so deleting a
// build or a downloaded archive never breaks it. Returns whether an older
// copy was replaced (the browser must then reload it).
Result<bool> install_extension(const fs::path& delivered, const fs::path& installed) {
  std::error_code error;
  const bool replacing = fs::exists(installed / "manifest.json");
  const fs::path fresh = installed.parent_path() / ".extension-new";
  fs::remove_all(fresh, error);
  if (auto made = create_dirs(installed.parent_path()); !made) return failed_at(installed.parent_path(), made.error());
  fs::copy(delivered, fresh, fs::copy_options::recursive, error);
  if (!error) fs::remove_all(installed, error);
  if (!error) fs::rename(fresh, installed, error);
  if (error) return failed_at(installed, os_error_text(error.value()));
  return replacing;
}

// The manual page and shell completion from beside the program (a build
// or an unpacked download) into the user's own places, where man, bash,
// zsh and fish find them; a copy with none beside it (the installed one)
// keeps what an earlier setup put there. Returns whether all are in place.
bool install_user_manual_and_completion(const fs::path& running, const UserFiles& files) {
  const fs::path beside = running.parent_path();
  const std::pair<fs::path, fs::path> copies[] = {
      {beside / "wendlebox.1", files.manual},
      {beside / "completion" / "wendlebox.bash", files.bash_completion},
      {beside / "completion" / "_wendlebox", files.zsh_completion},
      {beside / "completion" / "wendlebox.fish", files.fish_completion}};
  bool complete = true;
  for (const auto& [delivered, target] : copies) {
    // A copy that cannot be written leaves an earlier setup's in place
    // (the file is replaced whole or not at all), which still serves.
    if (auto text = read_file(delivered)) (void)write_file_whole(target, *text);
    complete &= fs::exists(target);
  }
  return complete;
}

// Whether a start-up file is read by the user's login shell: .profile by
// every one, the others by their own shell only.
bool read_by_user_shell(const fs::path& file) {
  const std::string shell = process_env("SHELL").value_or("");
  const std::string name = file.filename().string();
  return name == ".profile" || (name == ".bashrc" && shell.ends_with("bash")) ||
         (name == ".zshrc" && shell.ends_with("zsh")) || (name == "config.fish" && shell.ends_with("fish"));
}

// Appends the marked PATH block unless the file mentions .local/bin
// already; true when it appended.
Result<bool> ensure_shell_path(const ShellBlock& block) {
  const std::string text = read_file(block.file).value_or("");
  if (is_valid_utf8(text) && text.find(".local/bin") != std::string::npos) return false;
  if (auto made = create_dirs(block.file.parent_path()); !made) return std::unexpected(made.error());
  if (auto appended = append_file(block.file, block.text); !appended) return std::unexpected(appended.error());
  return true;
}

// Each completion line is appended once, in its own marked block, to the
// start-up file of the shell that reads it.
Status ensure_shell_blocks(const fs::path& home) {
  for (const ShellBlock& block : shell_blocks(home)) {
    if (!block.text.starts_with(kCompletionMarker) || !read_by_user_shell(block.file) || block_in_place(block)) continue;
    if (auto appended = append_file(block.file, block.text); !appended) return failed_at(block.file, appended.error());
  }
  return {};
}

// Puts ~/.local/bin on the PATH of the user's shells, saying for each
// start-up file whether it was edited or already set.
Status ensure_user_shell_path(const fs::path& home) {
  for (const ShellBlock& block : shell_blocks(home)) {
    if (!block.text.starts_with(kPathMarker) || !read_by_user_shell(block.file)) continue;
    auto edited = ensure_shell_path(block);
    if (!edited) return failed_at(block.file, edited.error());
    Printer::standard() << fmt::format("{} {}\n", i18n::tr(*edited ? kShellEdited : kShellAlreadySet),
                                       friendly_folder(block.file));
  }
  return {};
}

}  // namespace

// Beside the program (a build or an unpacked download), else where an
// installation puts shared files (<prefix>/bin -> <prefix>/share/wendlebox).
std::optional<fs::path> extension_folder(const fs::path& running) {
  for (const fs::path& folder : {running.parent_path() / "extension",
                                 running.parent_path().parent_path() / "share" / "wendlebox" / "extension"})
    if (fs::exists(folder / "manifest.json")) return folder;
  return std::nullopt;
}

fs::path installed_extension_folder() { return data_dir() / "extension"; }

std::optional<fs::path> extension_to_load() {
  return fs::exists(installed_extension_folder() / "manifest.json") ? installed_extension_folder()
                                                                    : running_extension_folder();
}

std::optional<std::string> extension_version(const fs::path& folder) {
  auto manifest = read_file(folder / "manifest.json");
  if (!manifest) return std::nullopt;
  auto value = parse_json(*manifest);
  if (!value || !value->is_object() || !value->contains("version") || !(*value)["version"].is_string()) return std::nullopt;
  return (*value)["version"].get<std::string>();
}

std::optional<fs::path> running_extension_folder() {
  auto running = running_executable();
  return running ? extension_folder(*running) : std::nullopt;
}

void show_installed_help(const fs::path& installed) {
  Printer::standard() << "\nWendlebox --help:\n\n" << std::flush;
  auto ran = run_process(ProcessSpec{.argv = {installed.string(), "--help"}, .input = InputMode::Inherit,
                                     .output = OutputMode::Inherit, .errors = OutputMode::Inherit});
  if (!ran || !ran->status.success()) print_help();
}

namespace {

bool is_in_hidden_folder(const fs::path& folder) {
  for (const fs::path& part : folder)
    if (part.native().size() > 1 && part.native().starts_with('.') && part != "..") return true;
  return false;
}

}  // namespace

std::optional<fs::path> firefox_package(const fs::path& running) {
  for (const fs::path& folder : {running.parent_path(), running.parent_path().parent_path() / "share" / "wendlebox"}) {
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with("wendlebox-") && name.ends_with(".xpi")) return entry.path();
    }
  }
  return std::nullopt;
}

fs::path installed_firefox_package() { return data_dir() / "wendlebox.xpi"; }

UserFiles user_files(const fs::path& home) {
  const fs::path data_home = data_dir().parent_path();
  return UserFiles{.program = home / ".local" / "bin" / "wendlebox",
                   .extension = installed_extension_folder(),
                   .firefox_package = installed_firefox_package(),
                   // man finds <dir>/../share/man for each <dir> on PATH: ~/.local/bin is.
                   .manual = home / ".local" / "share" / "man" / "man1" / "wendlebox.1",
                   .bash_completion = data_home / "bash-completion" / "completions" / "wendlebox",
                   .zsh_completion = data_home / "zsh" / "site-functions" / "_wendlebox",
                   // fish reads <XDG_CONFIG_HOME or ~/.config>/fish, as app_dir is found.
                   .fish_completion = app_dir().parent_path() / "fish" / "completions" / "wendlebox.fish"};
}

std::vector<ShellBlock> shell_blocks(const fs::path& home) {
  const UserFiles files = user_files(home);
  const auto block = [](std::string_view marker, std::string_view line) { return fmt::format("{}{}\n", marker, line); };
  // bash sources its file itself: the bash-completion package, which would
  // load it on demand, is often missing. zsh completes once compinit has
  // read its folder, or, when the user's start-up ran compinit already,
  // once the function is registered.
  const std::string zsh_folder = shell_quoted(files.zsh_completion.parent_path());
  return {{home / ".profile", block(kPathMarker, kExportLine)},
          {home / ".bashrc", block(kPathMarker, kExportLine)},
          {home / ".zshrc", block(kPathMarker, kExportLine)},
          {home / ".config" / "fish" / "config.fish", block(kPathMarker, kFishLine)},
          {home / ".bashrc", block(kCompletionMarker, fmt::format("[ -r {0} ] && . {0}", shell_quoted(files.bash_completion)))},
          {home / ".zshrc",
           block(kCompletionMarker,
                 fmt::format("fpath=({} $fpath); if (( $+functions[compdef] )); then autoload -Uz _wendlebox && "
                             "compdef _wendlebox wendlebox; else autoload -Uz compinit && compinit; fi",
                             zsh_folder))}};
}

bool block_in_place(const ShellBlock& block) {
  return read_file(block.file).value_or("").find(block.text) != std::string::npos;
}

// Installed by the package manager or `cmake --install`: the program in
// <prefix>/bin with its extension in <prefix>/share, not beside it, nor in
// the data folder where setup puts the user's copy.
bool is_system_installation(const fs::path& running) {
  const std::optional<fs::path> extension = extension_folder(running);
  return extension && *extension != running.parent_path() / "extension" && *extension != installed_extension_folder();
}

std::string extension_guidance(const std::optional<fs::path>& extension_folder, const std::optional<fs::path>& package) {
  if (!extension_folder) return std::string(i18n::tr(kNotBundled));
  const std::vector<InstalledBrowser> browsers = installed_browsers();
  const bool chromium = browsers.empty() || std::ranges::any_of(browsers, [](const InstalledBrowser& browser) {
    return browser.kind == BrowserKind::Chromium;
  });
  std::string guidance = fmt::format("{}\n", i18n::tr(kHeading));
  if (chromium) {
    guidance += fmt::format("{}\n    {}\n", i18n::tr(kIntroduction), friendly_folder(*extension_folder));
    if (is_in_hidden_folder(*extension_folder)) guidance += fmt::format("{}\n", i18n::tr(kHiddenFolder));
    guidance += fmt::format("{}\n", i18n::tr(kSteps));
  }
  for (const InstalledBrowser& browser : browsers)
    if (browser.kind != BrowserKind::Chromium)
      guidance += fmt::format("\n{}\n", extension_steps(browser.kind, browser.command, *extension_folder, package));
  return guidance + fmt::format("\n{}", i18n::tr(kTip));
}

Status setup() {
  auto running = running_executable();
  if (!running) return std::unexpected(running.error());
  const std::optional<std::string> home = process_env("HOME");
  if (!home) return failure("HOME is unavailable");
  const UserFiles files = user_files(*home);
  fs::path installed = *running;
  if (is_system_installation(*running)) {
    Printer::standard() << fmt::format(fmt::runtime(i18n::tr(kSystemInstallation)), running->string()) << '\n';
  } else {
    if (auto made = create_dirs(files.program.parent_path()); !made) return failed_at(files.program.parent_path(), made.error());
    installed = files.program;
    if (auto copied = install_copy(*running, installed); !copied) return copied;
    if (auto path = ensure_user_shell_path(*home); !path) return path;
    const bool manual_and_completion = install_user_manual_and_completion(*running, files);
    if (auto blocks = ensure_shell_blocks(*home); !blocks) return blocks;
    if (*running == installed)
      Printer::standard() << fmt::format("\n{} {}\n", Printer::standard().paint("32", i18n::tr(kAlreadyInstalled)),
                                         installed.string());
    else
      Printer::standard() << fmt::format("\n{} {}\n", Printer::standard().paint("32", i18n::tr(kInstalled)),
                                         installed.string());
    if (manual_and_completion) Printer::standard() << i18n::tr(kManualAndCompletion) << '\n';
  }
  // Both installed copies of the extension carry the pairing key, private
  // to this user, so that a tab acts only for this user's own sessions.
  auto key = pairing_key();
  if (!key) return std::unexpected(key.error());
  std::optional<fs::path> extension = extension_folder(*running);
  bool updated = false;
  if (extension && *extension != files.extension) {
    auto replaced = install_extension(*extension, files.extension);
    if (!replaced) return std::unexpected(replaced.error());
    extension = files.extension;
    updated = *replaced;
  }
  if (extension)
    if (auto paired = write_file_whole(*extension / kExtensionPairingFile, extension_pairing(*key)); !paired) return paired;
  std::optional<fs::path> package = firefox_package(*running);
  if (package && *package != files.firefox_package) {
    auto bytes = read_file(*package);
    if (!bytes) return failure(fmt::format("Could not read {}: {}", package->string(), bytes.error()));
    auto paired = paired_package(*bytes, *key);
    if (!paired) return std::unexpected(paired.error());
    if (auto written = write_file_whole(files.firefox_package, *paired); !written)
      return failed_at(files.firefox_package, written.error());
    package = files.firefox_package;
  }
  // Run again from the installed copy, which has nothing beside it: what
  // the first run installed is still there.
  if (!package && fs::exists(files.firefox_package)) package = files.firefox_package;
  show_installed_help(installed);
  const std::string separator(60, '=');
  Printer::standard() << fmt::format("\n{}\n", Printer::standard().paint("1;35", separator))
            << Printer::standard().paint("1;35", extension_guidance(extension, package)) << '\n'
            << Printer::standard().paint("1;35", separator) << '\n';
  if (updated) Printer::standard() << Printer::standard().paint("33", i18n::tr(kExtensionUpdated)) << '\n';
  setup_shell(installed);
  return {};
}
