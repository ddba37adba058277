// The main floor's messages to the user, each in English, Brazilian
// Portuguese and Spanish side by side, grouped by what shows them: kept out
// of the logic so that each language can be read and checked in one place.
// A text that two floors show lives in the lower floor's table.
#pragma once

#include "i18n/i18n.h"

namespace wendlebox {

namespace messages::main {

// The command line (run.cpp)
inline constexpr i18n::Text kUseChats{"Use wendlebox --chats to list saved chats.",
                                      "Use wendlebox --chats para listar os chats salvos.",
                                      "Usa wendlebox --chats para listar los chats guardados."};
inline constexpr i18n::Text kOneManagementOption{"Use one management option at a time.",
                                                 "Use uma opção de gerenciamento por vez.",
                                                 "Usa una opción de gestión a la vez."};
inline constexpr i18n::Text kUnknownOption{"Unknown option:", "Opção desconhecida:", "Opción desconocida:"};
inline constexpr i18n::Text kRunHelp{"Run wendlebox --help.", "Execute wendlebox --help.", "Ejecuta wendlebox --help."};
inline constexpr i18n::Text kNoChatStarted{
    "No chat started. Add a prompt or saved chat ID to use these options.",
    "Nenhum chat iniciado. Adicione um prompt ou o ID de um chat salvo para usar estas opções.",
    "No se inició ningún chat. Añade un prompt o el ID de un chat guardado para usar estas opciones."};
inline constexpr i18n::Text kSetupHelp{
    "wendlebox setup: installs this program into ~/.local/bin and puts that folder on your shell's PATH, installs the "
    "browser extension into the data folder, and shows how to load it in the browser.",
    "wendlebox setup: instala este programa em ~/.local/bin e coloca essa pasta no PATH do seu shell, instala a extensão "
    "do navegador na pasta de dados e mostra como carregá-la no navegador.",
    "wendlebox setup: instala este programa en ~/.local/bin y pone esa carpeta en el PATH de tu shell, instala la "
    "extensión del navegador en la carpeta de datos y muestra cómo cargarla en el navegador."};
inline constexpr i18n::Text kDoctorHelp{
    "wendlebox doctor: checks what a session needs (the program on PATH, a browser opener, Git, the extension and its "
    "version, the state files and folders), says where the state lives and how to fix each problem, lists the "
    "sessions running now (folder, process, port), and changes nothing. It exits with status 1 when something would "
    "stop a session.",
    "wendlebox doctor: verifica o que uma sessão precisa (o programa no PATH, um abridor de navegador, o Git, a "
    "extensão e sua versão, os arquivos e pastas de estado), diz onde o estado fica e como corrigir cada problema, "
    "lista as sessões em execução (pasta, processo, porta) e não altera nada. Termina com status 1 quando algo "
    "impediria uma sessão.",
    "wendlebox doctor: comprueba lo que necesita una sesión (el programa en el PATH, un abridor de navegador, Git, la "
    "extensión y su versión, los archivos y carpetas de estado), dice dónde está el estado y cómo corregir cada "
    "problema, lista las sesiones en curso (carpeta, proceso, puerto) y no cambia nada. Termina con estado 1 cuando "
    "algo impediría una sesión."};
inline constexpr i18n::Text kUninstallHelp{
    "wendlebox uninstall: removes what setup installed in your home folder (the program in ~/.local/bin, the browser "
    "extension's copy, the manual page, shell completion and the lines setup added to your shell's start-up files) and "
    "says what it removed. Your settings and saved chats stay; wendlebox uninstall --purge removes them too.",
    "wendlebox uninstall: remove o que o setup instalou na sua pasta pessoal (o programa em ~/.local/bin, a cópia da "
    "extensão do navegador, a página de manual, o completamento do shell e as linhas que o setup adicionou aos arquivos "
    "de início do seu shell) e diz o que removeu. Suas configurações e chats salvos ficam; wendlebox uninstall --purge "
    "também os remove.",
    "wendlebox uninstall: elimina lo que setup instaló en tu carpeta personal (el programa en ~/.local/bin, la copia de "
    "la extensión del navegador, la página de manual, el completado del shell y las líneas que setup añadió a los "
    "archivos de inicio de tu shell) y dice lo que eliminó. Tu configuración y tus chats guardados se quedan; wendlebox "
    "uninstall --purge también los elimina."};
inline constexpr i18n::Text kResuming{"Resuming chat {}: {} ({})", "Retomando o chat {}: {} ({})",
                                      "Retomando el chat {}: {} ({})"};

}  // namespace messages::main

}  // namespace wendlebox
