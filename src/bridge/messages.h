// The bridge floor's messages to the user, each in English, Brazilian
// Portuguese and Spanish side by side, grouped by what shows them: kept out
// of the logic so that each language can be read and checked in one place.
// A text that two floors show lives in the lower floor's table.
#pragma once

#include "i18n/i18n.h"

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

}  // namespace messages::bridge
