// The frontend floor's messages to the user, each in English, Brazilian
// Portuguese and Spanish side by side, grouped by what shows them: kept out
// of the logic so that each language can be read and checked in one place.
// A text that two floors show lives in the lower floor's table.
#pragma once

#include "i18n/i18n.h"

namespace wendlebox {

namespace messages::frontend {

// Adding the extension to each browser (browsers.cpp)
inline constexpr i18n::Text kChromiumSteps{
    "In {0}: open chrome://extensions (edge://extensions in Edge), turn on \"Developer mode\", click \"Load "
    "unpacked\" and select:\n    {1}",
    "No {0}: abra chrome://extensions (edge://extensions no Edge), ative o \"Modo do desenvolvedor\", clique em "
    "\"Carregar sem compactação\" e selecione:\n    {1}",
    "En {0}: abre chrome://extensions (edge://extensions en Edge), activa el \"Modo de desarrollador\", pulsa "
    "\"Cargar descomprimida\" y elige:\n    {1}"};
inline constexpr i18n::Text kUnsignedSteps{
    "In {0}, which keeps an add-on that Mozilla has not signed:\n"
    "  1. Open about:config and set xpinstall.signatures.required to false.\n"
    "  2. Open about:addons, click the gear button, choose \"Install Add-on From File...\" and pick:\n"
    "     {1}\n"
    "  3. Make ChatGPT open there:  wendlebox --browser {0}",
    "No {0}, que mantém um complemento que a Mozilla não assinou:\n"
    "  1. Abra about:config e defina xpinstall.signatures.required como false.\n"
    "  2. Abra about:addons, clique na engrenagem, escolha \"Instalar extensão de um arquivo...\" e selecione:\n"
    "     {1}\n"
    "  3. Faça o ChatGPT abrir nele:  wendlebox --browser {0}",
    "En {0}, que conserva un complemento que Mozilla no ha firmado:\n"
    "  1. Abre about:config y pon xpinstall.signatures.required en false.\n"
    "  2. Abre about:addons, pulsa el engranaje, elige \"Instalar complemento desde archivo...\" y selecciona:\n"
    "     {1}\n"
    "  3. Haz que ChatGPT se abra ahí:  wendlebox --browser {0}"};
inline constexpr i18n::Text kReleaseSteps{
    "In {0}, which loads an add-on that Mozilla has not signed only until it restarts:\n"
    "  1. Open about:debugging#/runtime/this-firefox, click \"Load Temporary Add-on...\" and pick:\n"
    "     {1}\n"
    "  2. After each restart of Firefox, load it again from there:  {0} about:debugging#/runtime/this-firefox\n"
    "  3. Make ChatGPT open there:  wendlebox --browser {0}",
    "No {0}, que carrega um complemento que a Mozilla não assinou só até reiniciar:\n"
    "  1. Abra about:debugging#/runtime/this-firefox, clique em \"Carregar extensão temporária...\" e selecione:\n"
    "     {1}\n"
    "  2. A cada reinício do Firefox, carregue de novo por ali:  {0} about:debugging#/runtime/this-firefox\n"
    "  3. Faça o ChatGPT abrir nele:  wendlebox --browser {0}",
    "En {0}, que carga un complemento que Mozilla no ha firmado solo hasta que se reinicia:\n"
    "  1. Abre about:debugging#/runtime/this-firefox, pulsa \"Cargar complemento temporal...\" y selecciona:\n"
    "     {1}\n"
    "  2. Tras cada reinicio de Firefox, cárgalo de nuevo desde ahí:  {0} about:debugging#/runtime/this-firefox\n"
    "  3. Haz que ChatGPT se abra ahí:  wendlebox --browser {0}"};
inline constexpr i18n::Text kNoPackage{
    "In {0}: the Firefox package of the extension (wendlebox-<version>.xpi) did not come with this program.",
    "No {0}: o pacote da extensão para o Firefox (wendlebox-<versão>.xpi) não veio com este programa.",
    "En {0}: el paquete de la extensión para Firefox (wendlebox-<versión>.xpi) no venía con este programa."};

// wendlebox doctor (doctor.cpp)
inline constexpr i18n::Text kExtensionFolderLabel{"Extension folder:", "Pasta da extensão:", "Carpeta de la extensión:"};
inline constexpr i18n::Text kExtensionVersion{"Extension version:", "Versão da extensão:", "Versión de la extensión:"};
inline constexpr i18n::Text kSeenInBrowser{"last seen in a browser:", "vista por último num navegador:",
                                           "vista por última vez en un navegador:"};
inline constexpr i18n::Text kNotSeenYet{"not seen yet", "ainda não vista", "aún no vista"};
inline constexpr i18n::Text kPairingLabel{"Extension pairing:", "Pareamento da extensão:", "Emparejamiento de la extensión:"};
inline constexpr i18n::Text kPairingMatches{"the installed extension holds this program's key",
                                            "a extensão instalada tem a chave deste programa",
                                            "la extensión instalada tiene la clave de este programa"};
inline constexpr i18n::Text kPairingDiffers{
    "PROBLEM: the extension installed in {} holds a pairing key other than this program's. Run wendlebox setup, then "
    "reload Wendlebox in the browser's extensions page.",
    "PROBLEMA: a extensão instalada em {} tem uma chave de pareamento diferente da deste programa. Execute wendlebox "
    "setup e depois recarregue o Wendlebox na página de extensões do navegador.",
    "PROBLEMA: la extensión instalada en {} tiene una clave de emparejamiento distinta de la de este programa. Ejecuta "
    "wendlebox setup y luego recarga Wendlebox en la página de extensiones del navegador."};
inline constexpr i18n::Text kOpenerLabel{"Browser opener:", "Abridor de navegador:", "Abridor de navegador:"};
inline constexpr i18n::Text kNoOpener{"Browser opener: not found. Install xdg-open, gio, or sensible-browser.",
                                      "Abridor de navegador: não encontrado. Instale xdg-open, gio ou sensible-browser.",
                                      "Abridor de navegador: no encontrado. Instala xdg-open, gio o sensible-browser."};
inline constexpr i18n::Text kGitAvailable{"available", "disponível", "disponible"};
inline constexpr i18n::Text kGitMissing{"not found (commits will be skipped)", "não encontrado (os commits serão ignorados)",
                                        "no encontrado (se omitirán los commits)"};
inline constexpr i18n::Text kExtensionHint{"Extension: enable Wendlebox in the browser that opens ChatGPT.",
                                           "Extensão: ative o Wendlebox no navegador que abre o ChatGPT.",
                                           "Extensión: activa Wendlebox en el navegador que abre ChatGPT."};
inline constexpr i18n::Text kSettings{"Settings:", "Configurações:", "Configuración:"};
inline constexpr i18n::Text kAllowList{"Allowed folders:", "Pastas permitidas:", "Carpetas permitidas:"};
inline constexpr i18n::Text kChatList{"Saved chats:", "Chats salvos:", "Chats guardados:"};
inline constexpr i18n::Text kFileFine{"read", "lido", "leído"};
inline constexpr i18n::Text kFileAbsent{"not created yet", "ainda não criado", "aún no creado"};
// The problem names the file and says how to set it right.
inline constexpr i18n::Text kFileBroken{"PROBLEM: {}", "PROBLEMA: {}", "PROBLEMA: {}"};
inline constexpr i18n::Text kChatLogs{"Chat logs: .wendlebox/chatlogs in each project folder",
                                      "Registros dos chats: .wendlebox/chatlogs na pasta de cada projeto",
                                      "Registros de los chats: .wendlebox/chatlogs en la carpeta de cada proyecto"};
inline constexpr i18n::Text kConfigFolder{"Config folder:", "Pasta de configuração:", "Carpeta de configuración:"};
inline constexpr i18n::Text kDataFolder{"Data folder:", "Pasta de dados:", "Carpeta de datos:"};
inline constexpr i18n::Text kWritable{"writable", "gravável", "con permiso de escritura"};
inline constexpr i18n::Text kNotWritable{"PROBLEM: not writable. Give yourself write access: chmod u+w {}",
                                         "PROBLEMA: sem permissão de escrita. Dê a você permissão de escrita: chmod u+w {}",
                                         "PROBLEMA: sin permiso de escritura. Date permiso de escritura: chmod u+w {}"};
inline constexpr i18n::Text kOnPath{"On PATH:", "No PATH:", "En el PATH:"};
inline constexpr i18n::Text kNotOnPath{
    "On PATH: no. Open a new terminal (setup added its folder to your shell's start-up file), or run: export "
    "PATH=\"{}:$PATH\"",
    "No PATH: não. Abra um novo terminal (o setup adicionou a pasta ao arquivo de início do seu shell), ou execute: "
    "export PATH=\"{}:$PATH\"",
    "En el PATH: no. Abre una terminal nueva (setup añadió su carpeta al archivo de inicio de tu shell), o ejecuta: "
    "export PATH=\"{}:$PATH\""};
inline constexpr i18n::Text kTwoCopies{
    "WARNING: {} copies of wendlebox are on PATH; the first one runs: {}. Remove the others, or an old copy may "
    "hide an update.",
    "AVISO: há {} cópias do wendlebox no PATH; a primeira é a que roda: {}. Remova as outras, ou uma cópia antiga "
    "pode esconder uma atualização.",
    "AVISO: hay {} copias de wendlebox en el PATH; la primera es la que se ejecuta: {}. Elimina las demás, o una "
    "copia antigua puede ocultar una actualización."};
inline constexpr i18n::Text kSessionBlocked{
    "Something above would stop a session: fix it and run wendlebox doctor again.",
    "Algo acima impediria uma sessão: corrija e execute wendlebox doctor de novo.",
    "Algo de lo anterior impediría una sesión: corrígelo y ejecuta wendlebox doctor de nuevo."};
inline constexpr i18n::Text kSessionBrowser{"Browser for sessions:", "Navegador das sessões:", "Navegador de las sesiones:"};
inline constexpr i18n::Text kChosen{"chosen with --browser", "escolhido com --browser", "elegido con --browser"};
inline constexpr i18n::Text kFromEnvironment{"from $BROWSER", "de $BROWSER", "de $BROWSER"};
inline constexpr i18n::Text kSystemOpener{"the system's default browser", "o navegador padrão do sistema",
                                          "el navegador predeterminado del sistema"};
inline constexpr i18n::Text kBrowserGone{
    "PROBLEM: {}, the browser chosen with --browser, is not found. Choose another with wendlebox --browser <command>, "
    "or wendlebox --browser default for the system's.",
    "PROBLEMA: {}, o navegador escolhido com --browser, não foi encontrado. Escolha outro com wendlebox --browser "
    "<comando>, ou wendlebox --browser default para o do sistema.",
    "PROBLEMA: {}, el navegador elegido con --browser, no se encuentra. Elige otro con wendlebox --browser <comando>, "
    "o wendlebox --browser default para el del sistema."};
inline constexpr i18n::Text kSeenIn{"Extension last seen in:", "Extensão vista por último em:", "Extensión vista por última vez en:"};
inline constexpr i18n::Text kBrowsersFound{"Browsers found:", "Navegadores encontrados:", "Navegadores encontrados:"};
inline constexpr i18n::Text kNoBrowserFound{"none of the known ones", "nenhum dos conhecidos", "ninguno de los conocidos"};
inline constexpr i18n::Text kManual{"Manual page:", "Página de manual:", "Página de manual:"};
inline constexpr i18n::Text kNoManual{
    "Manual page: not installed, so man wendlebox finds nothing. Run wendlebox setup from the build or download "
    "folder.",
    "Página de manual: não instalada, então man wendlebox não encontra nada. Execute wendlebox setup da pasta da "
    "compilação ou do download.",
    "Página de manual: no instalada, así que man wendlebox no encuentra nada. Ejecuta wendlebox setup desde la carpeta "
    "de la compilación o de la descarga."};
inline constexpr i18n::Text kCompletion{"Shell completion ({}):", "Completamento do shell ({}):", "Completado del shell ({}):"};
inline constexpr i18n::Text kNoCompletion{
    "Shell completion ({}): not set up, so Tab completes nothing after wendlebox. Run wendlebox setup from the build "
    "or download folder, then open a new terminal.",
    "Completamento do shell ({}): não configurado, então Tab não completa nada depois de wendlebox. Execute wendlebox "
    "setup da pasta da compilação ou do download e abra um novo terminal.",
    "Completado del shell ({}): no configurado, así que Tab no completa nada después de wendlebox. Ejecuta wendlebox "
    "setup desde la carpeta de la compilación o de la descarga y abre una terminal nueva."};

// --help (help.cpp)
inline constexpr i18n::Text kTitle{"Wendlebox  |  Contact: ", "Wendlebox  |  Contato: ", "Wendlebox  |  Contacto: "};

// Settings, the allow list and saved chats (manage.cpp)
inline constexpr i18n::Text kCommandsAllowed{"Commands allowed. Wendlebox will run them without asking.",
                                             "Comandos permitidos. O Wendlebox os executará sem perguntar.",
                                             "Comandos permitidos. Wendlebox los ejecutará sin preguntar."};
inline constexpr i18n::Text kCommandsBlocked{"Commands blocked. Wendlebox will ask before running each one.",
                                             "Comandos bloqueados. O Wendlebox perguntará antes de executar cada um.",
                                             "Comandos bloqueados. Wendlebox preguntará antes de ejecutar cada uno."};
inline constexpr i18n::Text kSoundsBlocked{"Completion sounds blocked.", "Sons de conclusão bloqueados.",
                                           "Sonidos de finalización bloqueados."};
inline constexpr i18n::Text kSoundsAllowed{"Completion sounds allowed.", "Sons de conclusão permitidos.",
                                           "Sonidos de finalización permitidos."};
inline constexpr i18n::Text kBrowserSaved{"ChatGPT will open with: {}", "O ChatGPT será aberto com: {}",
                                          "ChatGPT se abrirá con: {}"};
inline constexpr i18n::Text kBrowserCleared{
    "ChatGPT will open in the browser that $BROWSER names, else in the system's default browser.",
    "O ChatGPT será aberto no navegador indicado por $BROWSER, ou no navegador padrão do sistema.",
    "ChatGPT se abrirá en el navegador que indique $BROWSER, o en el navegador predeterminado del sistema."};
inline constexpr i18n::Text kBrowserNotFound{
    "Browser command not found: {}. Give a program on PATH or the full path of one, or default for the system's "
    "browser.",
    "Comando de navegador não encontrado: {}. Informe um programa do PATH ou o caminho completo de um, ou default para "
    "o navegador do sistema.",
    "Comando de navegador no encontrado: {}. Indica un programa del PATH o la ruta completa de uno, o default para el "
    "navegador del sistema."};
inline constexpr i18n::Text kRiskyRoot{
    "Allowing {} gives ChatGPT's actions every file on this machine that you can read or change, your home folder "
    "included.",
    "Permitir {} dá às ações do ChatGPT todos os arquivos desta máquina que você pode ler ou alterar, inclusive a sua "
    "pasta pessoal.",
    "Permitir {} da a las acciones de ChatGPT todos los archivos de esta máquina que puedes leer o cambiar, incluida tu "
    "carpeta personal."};
inline constexpr i18n::Text kRiskyHome{
    "Allowing {} gives ChatGPT's actions your whole home folder: documents, SSH keys, browser profiles and settings.",
    "Permitir {} dá às ações do ChatGPT toda a sua pasta pessoal: documentos, chaves SSH, perfis do navegador e "
    "configurações.",
    "Permitir {} da a las acciones de ChatGPT toda tu carpeta personal: documentos, claves SSH, perfiles del navegador "
    "y configuración."};
inline constexpr i18n::Text kAllowIt{"Allow it?", "Permitir?", "¿Permitirlo?"};
inline constexpr i18n::Text kAskedNowhere{"There is no terminal to ask at: run wendlebox --add-folder {} --yes to allow it.",
                                          "Não há terminal para perguntar: execute wendlebox --add-folder {} --yes para "
                                          "permitir.",
                                          "No hay terminal donde preguntar: ejecuta wendlebox --add-folder {} --yes para "
                                          "permitirlo."};
inline constexpr i18n::Text kNotAdded{"Not allowed: {}", "Não permitida: {}", "No permitida: {}"};
inline constexpr i18n::Text kGitEnabled{"Automatic Git snapshots and commits enabled.",
                                        "Snapshots e commits automáticos do Git ativados.",
                                        "Snapshots y commits automáticos de Git activados."};
inline constexpr i18n::Text kGitDisabled{"Automatic Git snapshots and commits disabled.",
                                         "Snapshots e commits automáticos do Git desativados.",
                                         "Snapshots y commits automáticos de Git desactivados."};
inline constexpr i18n::Text kInstructionsOn{
    "The project's instructions (AGENTS.md or the like) will go with the first prompt of each chat.",
    "As instruções do projeto (AGENTS.md ou semelhante) irão com o primeiro prompt de cada chat.",
    "Las instrucciones del proyecto (AGENTS.md o similar) irán con el primer prompt de cada chat."};
inline constexpr i18n::Text kInstructionsOff{"The project's instructions (AGENTS.md or the like) will not be sent to ChatGPT.",
                                             "As instruções do projeto (AGENTS.md ou semelhante) não serão enviadas ao ChatGPT.",
                                             "Las instrucciones del proyecto (AGENTS.md o similar) no se enviarán a ChatGPT."};
inline constexpr i18n::Text kReviewOn{
    "Changes to files will be shown first, and Wendlebox will ask before applying each one.",
    "As alterações nos arquivos serão mostradas antes, e o Wendlebox perguntará antes de aplicar cada uma.",
    "Los cambios en los archivos se mostrarán antes, y Wendlebox preguntará antes de aplicar cada uno."};
inline constexpr i18n::Text kReviewOff{"Changes to files will be applied without asking, and shown as they are made.",
                                       "As alterações nos arquivos serão aplicadas sem perguntar, e mostradas ao serem feitas.",
                                       "Los cambios en los archivos se aplicarán sin preguntar, y se mostrarán al hacerse."};
inline constexpr i18n::Text kAlreadyAllowed{"Already allowed:", "Já permitida:", "Ya permitida:"};
inline constexpr i18n::Text kAllowedAccess{"Allowed file access:", "Acesso a arquivos permitido:",
                                           "Acceso a archivos permitido:"};
inline constexpr i18n::Text kRemovedFromList{"Removed from allow list:", "Removida da lista permitida:",
                              "Quitada de la lista permitida:"};
inline constexpr i18n::Text kNoneAllowed{
    "No extra folders allowed. The working folder is always available.",
    "Nenhuma pasta extra permitida. A pasta de trabalho está sempre disponível.",
    "No hay carpetas extra permitidas. La carpeta de trabajo siempre está disponible."};
inline constexpr i18n::Text kContinueWith{"Continue with: wendlebox [\"your prompt\"] <number, chat ID, or URL>",
                                          "Continue com: wendlebox [\"seu prompt\"] <número, ID do chat ou URL>",
                                          "Continúa con: wendlebox [\"tu prompt\"] <número, ID del chat o URL>"};
inline constexpr i18n::Text kShowingProject{
    "Showing this project's chats. Use wendlebox --chats-all for every project.",
    "Mostrando os chats deste projeto. Use wendlebox --chats-all para todos os projetos.",
    "Mostrando los chats de este proyecto. Usa wendlebox --chats-all para todos los proyectos."};
inline constexpr i18n::Text kNoChats{"No saved chats yet.", "Ainda não há chats salvos.", "Aún no hay chats guardados."};
inline constexpr i18n::Text kNoProjectChats{"No saved chats for this project yet.",
                                            "Ainda não há chats salvos para este projeto.",
                                            "Aún no hay chats guardados para este proyecto."};
inline constexpr i18n::Text kRunChatsAll{"Run wendlebox --chats-all to see chats from every project.",
                                         "Execute wendlebox --chats-all para ver os chats de todos os projetos.",
                                         "Ejecuta wendlebox --chats-all para ver los chats de todos los proyectos."};
inline constexpr i18n::Text kChatNotFound{
    "Chat not found. Run wendlebox --chats-all to see saved numbers, or pass a ChatGPT chat URL.",
    "Chat não encontrado. Execute wendlebox --chats-all para ver os números salvos, ou informe a URL de um chat do "
    "ChatGPT.",
    "Chat no encontrado. Ejecuta wendlebox --chats-all para ver los números guardados, o indica la URL de un chat de "
    "ChatGPT."};
inline constexpr i18n::Text kNoLog{"No local log for this chat yet.", "Ainda não há log local para este chat.",
                                   "Aún no hay registro local de este chat."};
inline constexpr i18n::Text kYouEntry{"You", "Você", "Tú"};
inline constexpr i18n::Text kDone{"ChatGPT · done", "ChatGPT · concluído", "ChatGPT · hecho"};
inline constexpr i18n::Text kInterruptedEntry{"You · interrupted", "Você · interrompido", "Tú · interrumpido"};

// The prompt between a session's prompts (prompt.cpp)
inline constexpr i18n::Text kYou{"You >", "Você >", "Tú >"};
inline constexpr i18n::Text kNoUrlYet{"Chat URL will be saved after the first reply.",
                                      "A URL do chat será salva após a primeira resposta.",
                                      "La URL del chat se guardará tras la primera respuesta."};
inline constexpr i18n::Text kSessionHelp{
    "Type a prompt to continue this chat. /chat shows its URL; /exit leaves the session.\n"
    "  /diff  what the last prompt changed\n  /undo  take the last prompt's changes back\n  /help  this list",
    "Digite um prompt para continuar este chat. /chat mostra a URL; /exit encerra a sessão.\n"
    "  /diff  o que o último prompt mudou\n  /undo  desfaz as mudanças do último prompt\n  /help  esta lista",
    "Escribe un prompt para continuar este chat. /chat muestra su URL; /exit cierra la sesión.\n"
    "  /diff  lo que cambió el último prompt\n  /undo  deshace los cambios del último prompt\n  /help  esta lista"};

// wendlebox setup (setup.cpp)
inline constexpr i18n::Text kInstalled{"Wendlebox was installed successfully.", "O Wendlebox foi instalado com sucesso.",
                                       "Wendlebox se instaló correctamente."};
inline constexpr i18n::Text kNotBundled{
    "The extension was not bundled with this executable. Install Wendlebox in the browser you use for ChatGPT.",
    "A extensão não veio incluída neste executável. Instale o Wendlebox no navegador que você usa para o ChatGPT.",
    "La extensión no venía incluida en este ejecutable. Instala Wendlebox en el navegador que usas para ChatGPT."};
inline constexpr i18n::Text kHeading{"LAST STEP: add the extension to your browser (one time, ~30 seconds)",
                                     "ÚLTIMO PASSO: adicione a extensão ao navegador (uma vez, ~30 segundos)",
                                     "ÚLTIMO PASO: añade la extensión a tu navegador (una vez, ~30 segundos)"};
inline constexpr i18n::Text kIntroduction{
    "The extension is installed, ready to use, in this folder:",
    "A extensão está instalada, pronta para usar, nesta pasta:",
    "La extensión está instalada, lista para usar, en esta carpeta:"};
inline constexpr i18n::Text kHiddenFolder{
    "It is inside a hidden folder, which file dialogs do not list: in the \"Load unpacked\" dialog type or paste this "
    "path (Ctrl+L opens a location field), or press Ctrl+H to show hidden folders.",
    "Ela fica dentro de uma pasta oculta, que as janelas de arquivos não listam: na janela de \"Carregar sem "
    "compactação\" digite ou cole este caminho (Ctrl+L abre um campo de local), ou pressione Ctrl+H para mostrar as "
    "pastas ocultas.",
    "Está dentro de una carpeta oculta, que los diálogos de archivos no muestran: en el diálogo de \"Cargar "
    "descomprimida\" escribe o pega esta ruta (Ctrl+L abre un campo de ubicación), o pulsa Ctrl+H para mostrar las "
    "carpetas ocultas."};
inline constexpr i18n::Text kSteps{
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
inline constexpr i18n::Text kTip{
    "TIP: the wendlebox command works in any folder. Open a terminal there (right-click the folder > Open in Terminal) "
    "and run it.",
    "DICA: o comando wendlebox funciona em qualquer pasta. Abra um terminal nela (clique com o botão direito na pasta > "
    "Abrir no Terminal) e execute.",
    "CONSEJO: el comando wendlebox funciona en cualquier carpeta. Abre una terminal en ella (clic derecho en la carpeta "
    "> Abrir en Terminal) y ejecútalo."};
inline constexpr i18n::Text kSystemInstallation{
    "Wendlebox is installed by the system at {}: setup puts no copy of it in ~/.local/bin, which would hide its "
    "updates.",
    "O Wendlebox está instalado pelo sistema em {}: o setup não põe uma cópia dele em ~/.local/bin, que esconderia "
    "suas atualizações.",
    "Wendlebox está instalado por el sistema en {}: setup no pone una copia en ~/.local/bin, que ocultaría sus "
    "actualizaciones."};
inline constexpr i18n::Text kShellEdited{"Added wendlebox to PATH in", "Wendlebox adicionado ao PATH em",
                                         "Wendlebox añadido al PATH en"};
inline constexpr i18n::Text kShellAlreadySet{"PATH already set in", "PATH já configurado em", "PATH ya configurado en"};
inline constexpr i18n::Text kManualAndCompletion{
    "In a new terminal, man wendlebox shows the manual and Tab completes wendlebox's options and saved chats.",
    "Num novo terminal, man wendlebox mostra o manual e Tab completa as opções e os chats salvos do wendlebox.",
    "En una terminal nueva, man wendlebox muestra el manual y Tab completa las opciones y los chats guardados de "
    "wendlebox."};
inline constexpr i18n::Text kAlreadyInstalled{"Wendlebox is installed:", "O Wendlebox está instalado:",
                                              "Wendlebox está instalado:"};
inline constexpr i18n::Text kExtensionUpdated{
    "The extension was updated: press the reload button of Wendlebox in edge://extensions (or chrome://extensions).",
    "A extensão foi atualizada: clique no botão de recarregar do Wendlebox em edge://extensions (ou "
    "chrome://extensions).",
    "La extensión se actualizó: pulsa el botón de recargar de Wendlebox en edge://extensions (o chrome://extensions)."};

// The shell offered after setup (setup_shell.cpp)
inline constexpr i18n::Text kWelcome{
    "You can use Wendlebox right here. Type a command (for example --chats, --help, or \"create a snake game\"), or "
    "press Enter to close.",
    "Você já pode usar o Wendlebox aqui. Digite um comando (por exemplo --chats, --help ou \"crie um jogo da "
    "cobrinha\"), ou pressione Enter para fechar.",
    "Ya puedes usar Wendlebox aquí. Escribe un comando (por ejemplo --chats, --help o \"crea un juego de la "
    "serpiente\"), o pulsa Enter para cerrar."};
inline constexpr i18n::Text kCdHint{"Tip: cd <folder> changes the project folder.", "Dica: cd <pasta> muda a pasta do projeto.",
                                    "Consejo: cd <carpeta> cambia la carpeta del proyecto."};
inline constexpr i18n::Text kFolderNotFound{"Folder not found.", "Pasta não encontrada.", "Carpeta no encontrada."};
inline constexpr i18n::Text kBackAtPrompt{"Back at the Wendlebox prompt.", "De volta ao prompt do Wendlebox.",
                                          "De vuelta en el prompt de Wendlebox."};

// wendlebox uninstall (uninstall.cpp)
inline constexpr i18n::Text kRemoved{"Removed:", "Removido:", "Eliminado:"};
inline constexpr i18n::Text kBlockRemoved{"Removed the Wendlebox lines from", "Linhas do Wendlebox removidas de",
                                          "Líneas de Wendlebox eliminadas de"};
inline constexpr i18n::Text kBlockChanged{
    "{} still mentions Wendlebox in lines setup did not write as they are now: remove them by hand.",
    "{} ainda menciona o Wendlebox em linhas que o setup não escreveu como estão: remova-as à mão.",
    "{} todavía menciona Wendlebox en líneas que setup no escribió tal como están: elimínalas a mano."};
inline constexpr i18n::Text kNothingInstalled{"Nothing of a Wendlebox installation was found in your home folder.",
                                              "Nada de uma instalação do Wendlebox foi encontrado na sua pasta pessoal.",
                                              "No se encontró nada de una instalación de Wendlebox en tu carpeta personal."};
inline constexpr i18n::Text kSystemProgram{
    "The program {} was installed by the system: remove it with your package manager (for example sudo apt remove "
    "wendlebox).",
    "O programa {} foi instalado pelo sistema: remova-o com o gerenciador de pacotes (por exemplo sudo apt remove "
    "wendlebox).",
    "El programa {} lo instaló el sistema: elimínalo con tu gestor de paquetes (por ejemplo sudo apt remove "
    "wendlebox)."};
inline constexpr i18n::Text kKept{
    "Kept your settings and saved chats in {}: wendlebox uninstall --purge removes them too.",
    "Suas configurações e chats salvos continuam em {}: wendlebox uninstall --purge também os remove.",
    "Tu configuración y tus chats guardados siguen en {}: wendlebox uninstall --purge también los elimina."};
inline constexpr i18n::Text kProjectsKept{
    "Each project keeps its chat logs in its own .wendlebox folder; delete those you no longer want:",
    "Cada projeto guarda os registros dos chats na sua própria pasta .wendlebox; apague as que não quiser mais:",
    "Cada proyecto guarda los registros de sus chats en su propia carpeta .wendlebox; borra las que ya no quieras:"};
inline constexpr i18n::Text kBrowserToo{
    "Remove the Wendlebox extension from your browser too (its extensions page, or about:addons in Firefox).",
    "Remova também a extensão Wendlebox do navegador (na página de extensões, ou em about:addons no Firefox).",
    "Quita también la extensión Wendlebox del navegador (en su página de extensiones, o en about:addons en Firefox)."};

// The sessions running now, as doctor lists them (doctor.cpp)
inline constexpr i18n::Text kSessionsRunning{"Sessions running:", "Sessões em execução:", "Sesiones en curso:"};
inline constexpr i18n::Text kNoSessionRunning{"Sessions running: none", "Sessões em execução: nenhuma",
                                              "Sesiones en curso: ninguna"};
inline constexpr i18n::Text kSessionProcess{"process {}", "processo {}", "proceso {}"};
inline constexpr i18n::Text kSessionPort{"port {}", "porta {}", "puerto {}"};

}  // namespace messages::frontend

}  // namespace wendlebox
