// The actions floor's messages to the user, each in English, Brazilian
// Portuguese and Spanish side by side, grouped by what shows them: kept out
// of the logic so that each language can be read and checked in one place.
// A text that two floors show lives in the lower floor's table.
#pragma once

#include "i18n/i18n.h"

namespace wendlebox {

namespace messages::actions {

// A change shown before it is made (change_view.cpp)
inline constexpr i18n::Text kMoreChanged{"… {} more changed lines", "… mais {} linhas alteradas", "… {} líneas cambiadas más"};
inline constexpr i18n::Text kMoreLines{"… {} more lines", "… mais {} linhas", "… {} líneas más"};
inline constexpr i18n::Text kTooLongToReview{
    "This change is too long to review here ({} changed lines); it is not applied.",
    "Esta alteração é longa demais para revisar aqui ({} linhas alteradas); ela não é aplicada.",
    "Este cambio es demasiado largo para revisarlo aquí ({} líneas cambiadas); no se aplica."};
inline constexpr i18n::Text kOnlyEndings{"(only line endings or the final line break changed)",
                                         "(só mudaram os finais de linha ou a quebra de linha final)",
                                         "(solo cambiaron los finales de línea o el salto de línea final)"};

// Asking before a command runs, and the project's command rules (command_rules.cpp)
inline constexpr i18n::Text kRun{"Run", "Executar", "Ejecutar"};
inline constexpr i18n::Text kRunQuestion{"Run?", "Executar?", "¿Ejecutar?"};
inline constexpr i18n::Text kAllowThisCommand{"Allow this command?", "Permitir este comando?", "¿Permitir este comando?"};
inline constexpr i18n::Text kAlwaysHint{
    "  a: always allow this command in this project (also with more arguments after it); n <reason>: refuse and tell "
    "ChatGPT why",
    "  a: sempre permitir este comando neste projeto (também com mais argumentos depois dele); n <motivo>: recusar e "
    "dizer ao ChatGPT por quê",
    "  a: permitir siempre este comando en este proyecto (también con más argumentos después); n <motivo>: rechazar y "
    "decirle a ChatGPT por qué"};
inline constexpr i18n::Text kReasonHint{"  n <reason>: refuse and tell ChatGPT why",
                                        "  n <motivo>: recusar e dizer ao ChatGPT por quê",
                                        "  n <motivo>: rechazar y decirle a ChatGPT por qué"};
inline constexpr i18n::Text kAllowedByRule{"(allowed in this project)", "(permitido neste projeto)",
                                           "(permitido en este proyecto)"};
inline constexpr i18n::Text kAlwaysAllowed{"Always allowed in this project: {}", "Sempre permitido neste projeto: {}",
                                           "Permitido siempre en este proyecto: {}"};
inline constexpr i18n::Text kRulesUnusable{"No command is allowed by {} until it is fixed:",
                                           "Nenhum comando é permitido por {} até que seja corrigido:",
                                           "Ningún comando está permitido por {} hasta que se corrija:"};
inline constexpr i18n::Text kRuleNotKept{"Allowed this once; the rule could not be kept:",
                                         "Permitido desta vez; a regra não pôde ser guardada:",
                                         "Permitido esta vez; la regla no se pudo guardar:"};

// Yes/no questions (confirm.cpp)
inline constexpr i18n::Text kForceYesHint{"y --force-yes for this session", "y --force-yes para esta sessão",
                                          "y --force-yes para esta sesión"};
inline constexpr i18n::Text kForceYesNotice{"All remaining requests in this session will be allowed.",
                                            "Todas as solicitações restantes desta sessão serão permitidas.",
                                            "Todas las solicitudes restantes de esta sesión se permitirán."};

// Editing a file (edit_file.cpp)
inline constexpr i18n::Text kEdited{"Edited", "Editado", "Editado"};

// The actions' progress lines, commands and screenshots (executor.cpp)
inline constexpr i18n::Text kWrote{"Wrote", "Gravado", "Escrito"};
inline constexpr i18n::Text kListed{"Listed", "Listado", "Listado"};
inline constexpr i18n::Text kEntries{"entries", "itens", "entradas"};
inline constexpr i18n::Text kFailed{"failed", "falhou", "falló"};
inline constexpr i18n::Text kAttachedImage{"Attached image", "Imagem anexada", "Imagen adjunta"};
inline constexpr i18n::Text kScreenshotQuestion{"Capture and attach your desktop screenshot to ChatGPT?",
                                                "Capturar e anexar a captura da sua área de trabalho ao ChatGPT?",
                                                "¿Capturar y adjuntar la captura de tu escritorio a ChatGPT?"};
inline constexpr i18n::Text kScreenshotTaken{"Desktop screenshot captured for the next ChatGPT message.",
                                             "Captura da área de trabalho feita para a próxima mensagem do ChatGPT.",
                                             "Captura del escritorio hecha para el próximo mensaje de ChatGPT."};
inline constexpr i18n::Text kExit{"Exit {}", "Saída {}", "Salida {}"};
inline constexpr i18n::Text kStopped{"Stopped", "Interrompido", "Detenido"};
inline constexpr i18n::Text kStoppedBySignal{"Stopped by SIG{}", "Interrompido por SIG{}", "Detenido por SIG{}"};
inline constexpr i18n::Text kStoppedByCtrlC{"Stopped by Ctrl-C", "Interrompido com Ctrl-C", "Detenido con Ctrl-C"};
inline constexpr i18n::Text kStoppedAtTimeLimit{"Stopped at its time limit of {} s", "Interrompido no limite de tempo de {} s",
                                                "Detenido en su límite de tiempo de {} s"};
inline constexpr i18n::Text kCtrlCStopsCommand{
    "Ctrl-C: stopping this command; ChatGPT gets what it printed. Ctrl-C again within 2 seconds stops the prompt.",
    "Ctrl-C: interrompendo este comando; o ChatGPT recebe o que ele imprimiu. Ctrl-C de novo em 2 segundos "
    "interrompe o prompt.",
    "Ctrl-C: deteniendo este comando; ChatGPT recibe lo que imprimió. Ctrl-C otra vez en 2 segundos detiene el "
    "prompt."};
inline constexpr i18n::Text kTimeLimitReached{"Time limit of {} s reached: stopping this command.",
                                              "Limite de tempo de {} s atingido: interrompendo este comando.",
                                              "Límite de tiempo de {} s alcanzado: deteniendo este comando."};
inline constexpr i18n::Text kMissingCommand{"Missing command", "Falta o comando", "Falta el comando"};
inline constexpr i18n::Text kNulInCommand{"Command cannot contain a NUL byte", "O comando não pode conter um byte NUL",
                                          "El comando no puede contener un byte NUL"};
inline constexpr i18n::Text kBadTimeout{"timeout must be from 1 to 3600 seconds", "o timeout deve ser de 1 a 3600 segundos",
                                        "el timeout debe ser de 1 a 3600 segundos"};

// Reading a file, whole or in part (executor.cpp, read_lines.cpp)
// The label of the line that reading a file prints, whole or in part.
inline constexpr i18n::Text kRead{"Read", "Lido", "Leído"};

// A running command's output (live_output.cpp)
inline constexpr i18n::Text kEarlierLine{"… 1 earlier line", "… 1 linha anterior", "… 1 línea anterior"};
inline constexpr i18n::Text kEarlierLines{"… {} earlier lines", "… {} linhas anteriores", "… {} líneas anteriores"};

// Reading part of a file (read_lines.cpp)
inline constexpr i18n::Text kLinesOf{"lines {}–{} of {}", "linhas {}–{} de {}", "líneas {}–{} de {}"};

// Reviewing a change to a file (review.cpp)
inline constexpr i18n::Text kChangeTo{"Change to", "Alteração em", "Cambio en"};
inline constexpr i18n::Text kApplyQuestion{"Apply this change?", "Aplicar esta alteração?", "¿Aplicar este cambio?"};
inline constexpr i18n::Text kAllApplied{"The remaining changes of this prompt will be applied without asking.",
                                        "As alterações restantes deste prompt serão aplicadas sem perguntar.",
                                        "Los cambios restantes de este prompt se aplicarán sin preguntar."};
inline constexpr i18n::Text kNotShown{"(the file's current content cannot be shown)",
                                      "(o conteúdo atual do arquivo não pode ser mostrado)",
                                      "(el contenido actual del archivo no se puede mostrar)"};

// Searching files (search.cpp)
inline constexpr i18n::Text kSearched{"Searched", "Pesquisado", "Buscado"};
inline constexpr i18n::Text kMatchesIn{"{} in {} ({} matches)", "{} em {} ({} resultados)", "{} en {} ({} resultados)"};
inline constexpr i18n::Text kFilesIn{"{} in {} ({} files)", "{} em {} ({} arquivos)", "{} en {} ({} archivos)"};

}  // namespace messages::actions

}  // namespace wendlebox
