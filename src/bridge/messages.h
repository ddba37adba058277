// The bridge floor's messages to the user, each in English, Brazilian
// Portuguese and Spanish side by side, grouped by what shows them: kept out
// of the logic so that each language can be read and checked in one place.
// A text that two floors show lives in the lower floor's table.
#pragma once

#include "i18n/i18n.h"

namespace wendlebox {

namespace messages::bridge {

// The bridge port held by someone else (port_holder.cpp)
inline constexpr i18n::Text kAnotherSession{
    "Another Wendlebox session is already using port {}. Finish it first (/exit or Ctrl+C in its terminal).",
    "Outra sessão do Wendlebox já está usando a porta {}. Termine-a primeiro (/exit ou Ctrl+C no terminal dela).",
    "Otra sesión de Wendlebox ya está usando el puerto {}. Termínala primero (/exit o Ctrl+C en su terminal)."};
inline constexpr i18n::Text kAnotherProgram{
    "Another program is using port {} on 127.0.0.1, where the extension looks for Wendlebox. Stop it and try again "
    "(ss -ltnp 'sport = :{}' shows which).",
    "Outro programa está usando a porta {} em 127.0.0.1, onde a extensão procura o Wendlebox. Encerre-o e tente de "
    "novo (ss -ltnp 'sport = :{}' mostra qual).",
    "Otro programa está usando el puerto {} en 127.0.0.1, donde la extensión busca Wendlebox. Detenlo y vuelve a "
    "intentarlo (ss -ltnp 'sport = :{}' muestra cuál)."};

// Every port of the product's range taken (port_holder.cpp)
inline constexpr i18n::Text kAllTaken{
    "All {0} ports Wendlebox can listen on (127.0.0.1:{1} to {2}) are taken, so no other session can start. {3} End a "
    "session you no longer need (/exit or Ctrl+C in its terminal) and try again.",
    "Todas as {0} portas em que o Wendlebox pode escutar (127.0.0.1:{1} a {2}) estão ocupadas, então nenhuma outra "
    "sessão pode começar. {3} Encerre uma sessão de que não precisa mais (/exit ou Ctrl+C no terminal dela) e tente "
    "de novo.",
    "Los {0} puertos en los que Wendlebox puede escuchar (127.0.0.1:{1} a {2}) están ocupados, así que no puede "
    "empezar otra sesión. {3} Termina una sesión que ya no necesites (/exit o Ctrl+C en su terminal) y vuelve a "
    "intentarlo."};
inline constexpr i18n::Text kFirstHeldBySessionIn{"Port {} is held by a Wendlebox session working in {}.",
                                                  "A porta {} está com uma sessão do Wendlebox que trabalha em {}.",
                                                  "El puerto {} lo tiene una sesión de Wendlebox que trabaja en {}."};
inline constexpr i18n::Text kFirstHeldBySession{"Port {} is held by a Wendlebox session.",
                                                "A porta {} está com uma sessão do Wendlebox.",
                                                "El puerto {} lo tiene una sesión de Wendlebox."};
inline constexpr i18n::Text kFirstHeldByProgram{
    "Port {0} is held by another program (ss -ltnp 'sport = :{0}' shows which).",
    "A porta {0} está com outro programa (ss -ltnp 'sport = :{0}' mostra qual).",
    "El puerto {0} lo tiene otro programa (ss -ltnp 'sport = :{0}' muestra cuál)."};

}  // namespace messages::bridge

}  // namespace wendlebox
