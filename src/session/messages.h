// The session floor's messages to the user, each in English, Brazilian
// Portuguese and Spanish side by side, grouped by what shows them: kept out
// of the logic so that each language can be read and checked in one place.
// A text that two floors show lives in the lower floor's table.
#pragma once

#include "i18n/i18n.h"

namespace wendlebox {

namespace messages::session {

// Opening ChatGPT's page (chatgpt_page.cpp)
inline constexpr i18n::Text kOpened{"Opened:", "Aberto:", "Abierto:"};
inline constexpr i18n::Text kNotOpened{"The browser was not opened: open the page shown above by hand.",
                                 "O navegador não foi aberto: abra à mão a página indicada acima.",
                                 "No se abrió el navegador: abre a mano la página indicada arriba."};
inline constexpr i18n::Text kExtensionFolder{"Extension folder to load:", "Pasta da extensão a carregar:",
                                             "Carpeta de la extensión a cargar:"};
inline constexpr i18n::Text kNotLaunching{"Not opening the browser (--no-browser).", "O navegador não será aberto (--no-browser).",
                                          "No se abrirá el navegador (--no-browser)."};
inline constexpr i18n::Text kOpenPageByHand{
    "Open this page in the browser where the extension is installed (a private file that forwards to ChatGPT with "
    "this session's key):",
    "Abra esta página no navegador em que a extensão está instalada (um arquivo privado que leva ao ChatGPT com a "
    "chave desta sessão):",
    "Abre esta página en el navegador donde está instalada la extensión (un archivo privado que lleva a ChatGPT con "
    "la clave de esta sesión):"};
inline constexpr i18n::Text kOpenByHand{
    "Open this address in the browser where the extension is installed (it holds this session's key: do not show it "
    "to others):",
    "Abra este endereço no navegador em que a extensão está instalada (ele contém a chave desta sessão: não o mostre a "
    "ninguém):",
    "Abre esta dirección en el navegador donde está instalada la extensión (contiene la clave de esta sesión: no la "
    "muestres a nadie):"};
inline constexpr i18n::Text kKeyOnCommandLine{
    "Warning: this session's key is on the browser's command line, where other users of this computer can read it "
    "and act as your browser, because {}.",
    "Aviso: a chave desta sessão está na linha de comando do navegador, onde outros usuários deste computador podem "
    "lê-la e agir como o seu navegador, porque {}.",
    "Aviso: la clave de esta sesión está en la línea de comandos del navegador, donde otros usuarios de este equipo "
    "pueden leerla y actuar como tu navegador, porque {}."};
inline constexpr i18n::Text kRunDoctor{"Run wendlebox doctor.", "Execute wendlebox doctor.", "Ejecuta wendlebox doctor."};

// A folder another session works in (folder_claim.cpp)
inline constexpr i18n::Text kTaken{
    "Another Wendlebox session (process {1}) is already working in {0}, in this folder or its Git repository; two "
    "sessions there would trample each other's work. End that session first (Ctrl-C or /exit in its terminal, or kill "
    "{1}), or start wendlebox in another folder.",
    "Outra sessão do Wendlebox (processo {1}) já está trabalhando em {0}, nesta pasta ou no repositório Git dela; duas "
    "sessões ali atrapalhariam o trabalho uma da outra. Encerre aquela sessão primeiro (Ctrl-C ou /exit no terminal "
    "dela, ou kill {1}), ou inicie o wendlebox em outra pasta.",
    "Otra sesión de Wendlebox (proceso {1}) ya está trabajando en {0}, en esta carpeta o su repositorio Git; dos "
    "sesiones ahí se pisarían el trabajo. Termina esa sesión primero (Ctrl-C o /exit en su terminal, o kill {1}), o "
    "inicia wendlebox en otra carpeta."};

// The page that forwards to ChatGPT (forwarding_page.cpp)
inline constexpr i18n::Text kWindowsBrowser{"the Windows browser cannot read a page kept in Linux",
                                            "o navegador do Windows não consegue ler uma página guardada no Linux",
                                            "el navegador de Windows no puede leer una página guardada en Linux"};
inline constexpr i18n::Text kSnapWithoutRuntimeFolder{
    "{} is a snap browser, which can read a private page only in your runtime folder (XDG_RUNTIME_DIR), and there is "
    "no private one",
    "{} é um navegador snap, que só consegue ler uma página privada na sua pasta de execução (XDG_RUNTIME_DIR), e não "
    "há uma pasta privada",
    "{} es un navegador snap, que solo puede leer una página privada en tu carpeta de ejecución (XDG_RUNTIME_DIR), y "
    "no hay una privada"};
inline constexpr i18n::Text kNoPrivateFolder{"no private folder could hold the page ({})",
                                             "nenhuma pasta privada pôde guardar a página ({})",
                                             "ninguna carpeta privada pudo guardar la página ({})"};

// --probe (probe.cpp)
inline constexpr i18n::Text kHeading{"What the extension finds on ChatGPT's page:",
                                     "O que a extensão encontra na página do ChatGPT:",
                                     "Lo que la extensión encuentra en la página de ChatGPT:"};
inline constexpr i18n::Text kFoundCount{"{} of {} landmarks found.", "{} de {} pontos de referência encontrados.",
                                        "{} de {} puntos de referencia encontrados."};
inline constexpr i18n::Text kWritten{
    "Report written to {} (the page's structure and labels, no message text). Attach it to a bug report.",
    "Relatório gravado em {} (a estrutura e os rótulos da página, sem texto das mensagens). Anexe-o a um relato de erro.",
    "Informe guardado en {} (la estructura y las etiquetas de la página, sin texto de los mensajes). Adjúntalo a un "
    "informe de error."};
inline constexpr i18n::Text kComposers{"Message boxes on the page:", "Caixas de mensagem na página:",
                                       "Cuadros de mensaje en la página:"};
inline constexpr i18n::Text kFileInputs{"File inputs on the page:", "Campos de arquivo na página:",
                                        "Campos de archivo en la página:"};
inline constexpr i18n::Text kUsed{"used", "usado", "usado"};

// The project's instructions (project_instructions.cpp)
inline constexpr i18n::Text kSent{"Sent the project's instructions to ChatGPT: {}",
                                  "Instruções do projeto enviadas ao ChatGPT: {}",
                                  "Instrucciones del proyecto enviadas a ChatGPT: {}"};
inline constexpr i18n::Text kNotSent{"The project's instructions were not sent: {}",
                                     "As instruções do projeto não foram enviadas: {}",
                                     "Las instrucciones del proyecto no se enviaron: {}"};

// A session's turns (task.cpp)
inline constexpr i18n::Text kOpening{
    "Opening ChatGPT. Keep this tab open while this session runs (it can stay in the background).",
    "Abrindo o ChatGPT. Mantenha esta aba aberta enquanto a sessão estiver ativa (ela pode ficar em segundo plano).",
    "Abriendo ChatGPT. Mantén esta pestaña abierta mientras dure la sesión (puede quedar en segundo plano)."};
inline constexpr i18n::Text kKeepTabOpen{
    "Keep the ChatGPT tab open while this session runs (it can stay in the background).",
    "Mantenha a aba do ChatGPT aberta enquanto a sessão estiver ativa (ela pode ficar em segundo plano).",
    "Mantén la pestaña de ChatGPT abierta mientras dure la sesión (puede quedar en segundo plano)."};
inline constexpr i18n::Text kTypeFirstPrompt{"Type a prompt to start this chat, or /exit to leave.",
                                             "Digite um prompt para começar este chat, ou /exit para sair.",
                                             "Escribe un prompt para empezar este chat, o /exit para salir."};
inline constexpr i18n::Text kTypePrompt{"Type a prompt to continue this chat, or /exit to leave it.",
                                        "Digite um prompt para continuar este chat, ou /exit para sair.",
                                        "Escribe un prompt para continuar este chat, o /exit para salir."};
inline constexpr i18n::Text kTurn{"turn", "turno", "turno"};
inline constexpr i18n::Text kBrowser{"Browser", "Navegador", "Navegador"};
inline constexpr i18n::Text kStoppedAfter{"Stopped after", "Interrompido após", "Detenido tras"};
inline constexpr i18n::Text kTurnsContinueLater{"turns. Continue later with wendlebox <chat number>.",
                                                "turnos. Continue depois com wendlebox <número do chat>.",
                                                "turnos. Continúa más tarde con wendlebox <número del chat>."};
inline constexpr i18n::Text kVersionMismatch{
    "The browser extension ({}) does not match this program ({}). Run wendlebox setup, then press the reload button "
    "of Wendlebox in edge://extensions (or chrome://extensions).",
    "A extensão do navegador ({}) não corresponde a este programa ({}). Execute wendlebox setup e clique no botão de "
    "recarregar do Wendlebox em edge://extensions (ou chrome://extensions).",
    "La extensión del navegador ({}) no corresponde a este programa ({}). Ejecuta wendlebox setup y pulsa el botón de "
    "recargar de Wendlebox en edge://extensions (o chrome://extensions)."};
inline constexpr i18n::Text kStoppedBackground{
    "Stopped what {} of this session's commands left running in the background.",
    "Encerrado o que {} comandos desta sessão deixaram rodando em segundo plano.",
    "Detenido lo que {} comandos de esta sesión dejaron en ejecución en segundo plano."};
inline constexpr i18n::Text kInterruptedLine{"Interrupted.", "Interrompido.", "Interrumpido."};

// /undo and /diff (undo_and_diff.cpp)
inline constexpr i18n::Text kNothingToUndo{"Nothing to undo: no prompt of this session has been committed yet.",
                                   "Nada a desfazer: nenhum prompt desta sessão foi salvo no Git ainda.",
                                   "Nada que deshacer: ningún prompt de esta sesión se ha guardado en Git todavía."};
inline constexpr i18n::Text kCannotUndo{"Cannot undo:", "Não foi possível desfazer:", "No se puede deshacer:"};
inline constexpr i18n::Text kUndone{"The last prompt's changes were undone.", "As alterações do último prompt foram desfeitas.",
                                    "Se deshicieron los cambios del último prompt."};
inline constexpr i18n::Text kLeftAsTheyAre{"Left as they are, as they were changed by someone else too:",
                                           "Mantidos como estão, pois outra pessoa ou programa também os alterou:",
                                           "Se dejaron como están, porque alguien más también los cambió:"};
inline constexpr i18n::Text kNotPutBack{"Could not be put back as they were:",
                                        "Não foi possível restaurar como estavam:",
                                        "No se pudieron restaurar como estaban:"};
inline constexpr i18n::Text kCommandsUnwatched{
    "This folder holds too many files to watch what commands changed: only the files that actions named were put back.",
    "Esta pasta tem arquivos demais para acompanhar o que os comandos alteraram: só os arquivos indicados pelas ações "
    "foram restaurados.",
    "Esta carpeta tiene demasiados archivos para seguir lo que cambiaron los comandos: solo se restauraron los "
    "archivos indicados por las acciones."};
inline constexpr i18n::Text kUndonePrompt{"Undone prompt:", "Prompt desfeito:", "Prompt deshecho:"};
inline constexpr i18n::Text kMoreToUndo{"{} earlier prompt(s) of this session can still be undone with /undo.",
                                        "{} prompt(s) anterior(es) desta sessão ainda podem ser desfeitos com /undo.",
                                        "{} prompt(s) anterior(es) de esta sesión todavía se pueden deshacer con /undo."};
inline constexpr i18n::Text kNoMoreToUndo{"No earlier prompt of this session is left to undo.",
                                          "Não resta nenhum prompt anterior desta sessão para desfazer.",
                                          "No queda ningún prompt anterior de esta sesión por deshacer."};
inline constexpr i18n::Text kAllUndone{"Nothing to undo: every prompt this session committed has been undone.",
                                       "Nada a desfazer: todos os prompts que esta sessão salvou no Git foram desfeitos.",
                                       "Nada que deshacer: se deshicieron todos los prompts que esta sesión guardó en Git."};
inline constexpr i18n::Text kNoneLeftToShow{"Every prompt this session committed has been undone.",
                                            "Todos os prompts que esta sessão salvou no Git foram desfeitos.",
                                            "Se deshicieron todos los prompts que esta sesión guardó en Git."};
inline constexpr i18n::Text kTooFarBack{"Older prompts of this session can no longer be undone: /undo keeps the last {}.",
                                        "Os prompts mais antigos desta sessão não podem mais ser desfeitos: o /undo guarda os "
                                        "últimos {}.",
                                        "Los prompts más antiguos de esta sesión ya no se pueden deshacer: /undo guarda los "
                                        "últimos {}."};
inline constexpr i18n::Text kNothingToShow{"No prompt of this session has been committed yet.",
                                           "Nenhum prompt desta sessão foi salvo no Git ainda.",
                                           "Ningún prompt de esta sesión se ha guardado en Git todavía."};

// Waiting for the extension and for ChatGPT (wait.cpp)
inline constexpr i18n::Text kWaiting{"Waiting for ChatGPT's reply...", "Aguardando a resposta do ChatGPT...",
                                     "Esperando la respuesta de ChatGPT..."};
inline constexpr i18n::Text kStillWaiting{"Still waiting for this ChatGPT reply. Press Ctrl+C to stop.",
                                          "Ainda aguardando esta resposta do ChatGPT. Pressione Ctrl+C para parar.",
                                          "Aún esperando esta respuesta de ChatGPT. Pulsa Ctrl+C para detener."};
inline constexpr i18n::Text kNotConnected{
    "The extension did not connect within one minute. Check that it is installed and enabled in the browser that "
    "opened ChatGPT.",
    "A extensão não se conectou em um minuto. Verifique se ela está instalada e ativada no navegador que abriu o "
    "ChatGPT.",
    "La extensión no se conectó en un minuto. Comprueba que esté instalada y activada en el navegador que abrió "
    "ChatGPT."};
inline constexpr i18n::Text kPairingMismatch{
    "The Wendlebox extension in the browser holds a pairing key other than this program's (it was not reloaded after "
    "wendlebox setup, or another copy of it is loaded). Reload Wendlebox in the browser's extensions page "
    "(edge://extensions or chrome://extensions).",
    "A extensão Wendlebox no navegador tem uma chave de pareamento diferente da deste programa (ela não foi "
    "recarregada depois do wendlebox setup, ou outra cópia dela está carregada). Recarregue o Wendlebox na página de "
    "extensões do navegador (edge://extensions ou chrome://extensions).",
    "La extensión Wendlebox del navegador tiene una clave de emparejamiento distinta de la de este programa (no se "
    "recargó después de wendlebox setup, o hay otra copia cargada). Recarga Wendlebox en la página de extensiones "
    "del navegador (edge://extensions o chrome://extensions)."};
inline constexpr i18n::Text kSetupFolder{"The folder wendlebox setup installed it in:", "A pasta em que o wendlebox setup a instalou:",
                                         "La carpeta donde la instaló wendlebox setup:"};
inline constexpr i18n::Text kAnswering{"ChatGPT is answering ({} s) · Ctrl+C stops this prompt",
                                       "O ChatGPT está respondendo ({} s) · Ctrl+C interrompe este prompt",
                                       "ChatGPT está respondiendo ({} s) · Ctrl+C detiene este prompt"};
inline constexpr i18n::Text kStillWaitingForExtension{
    "Still waiting for the extension; press Ctrl+C to stop this prompt and keep the chat.",
    "Ainda aguardando a extensão; pressione Ctrl+C para interromper este prompt e manter o chat.",
    "Aún esperando la extensión; pulsa Ctrl+C para detener este prompt y conservar el chat."};
inline constexpr i18n::Text kWaitingForExtension{"Waiting for the extension to take the prompt",
                                                 "Aguardando a extensão receber o prompt",
                                                 "Esperando a que la extensión reciba el prompt"};
// The same notices while a probe waits for the extension's report.
inline constexpr i18n::Text kWaitingForReport{"Waiting for the extension's report of the page...",
                                              "Aguardando o relatório da página feito pela extensão...",
                                              "Esperando el informe de la página de la extensión..."};
inline constexpr i18n::Text kStillWaitingForReport{
    "Still waiting for the extension's report. Press Ctrl+C to stop.",
    "Ainda aguardando o relatório da extensão. Pressione Ctrl+C para parar.",
    "Aún esperando el informe de la extensión. Pulsa Ctrl+C para detener."};
inline constexpr i18n::Text kReading{"The extension is reading the page ({} s) · Ctrl+C stops the probe",
                                     "A extensão está lendo a página ({} s) · Ctrl+C interrompe a sondagem",
                                     "La extensión está leyendo la página ({} s) · Ctrl+C detiene el sondeo"};
inline constexpr i18n::Text kStillWaitingForExtensionToProbe{
    "Still waiting for the extension; press Ctrl+C to stop the probe.",
    "Ainda aguardando a extensão; pressione Ctrl+C para interromper a sondagem.",
    "Aún esperando la extensión; pulsa Ctrl+C para detener el sondeo."};
inline constexpr i18n::Text kWaitingForExtensionToProbe{"Waiting for the extension to read the page",
                                                        "Aguardando a extensão ler a página",
                                                        "Esperando a que la extensión lea la página"};

}  // namespace messages::session

}  // namespace wendlebox
