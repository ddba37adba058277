// The workspace floor's messages to the user, each in English, Brazilian
// Portuguese and Spanish side by side, grouped by what shows them: kept out
// of the logic so that each language can be read and checked in one place.
#pragma once

#include "i18n/i18n.h"

namespace wendlebox {

namespace messages::workspace {

// How far a session reaches, said at its start (out_of_reach.cpp)
inline constexpr i18n::Text kHomeReached{
    "This session reaches your whole home folder: ChatGPT can read and change any of your files there (Wendlebox's "
    "own settings stay out of its reach). A project folder keeps the rest of your files out of reach.",
    "Esta sessão alcança toda a sua pasta pessoal: o ChatGPT pode ler e alterar qualquer arquivo seu nela (as "
    "configurações do próprio Wendlebox ficam fora do alcance dele). Uma pasta de projeto deixa o resto dos seus "
    "arquivos fora do alcance.",
    "Esta sesión alcanza toda tu carpeta personal: ChatGPT puede leer y cambiar cualquiera de tus archivos en ella "
    "(los ajustes del propio Wendlebox quedan fuera de su alcance). Una carpeta de proyecto deja el resto de tus "
    "archivos fuera de su alcance."};
inline constexpr i18n::Text kStateReached{
    "This session's folders hold Wendlebox's own settings: actions cannot reach them, but everything else there is "
    "open to ChatGPT.",
    "As pastas desta sessão contêm as configurações do próprio Wendlebox: as ações não podem alcançá-las, mas todo o "
    "resto nelas fica aberto ao ChatGPT.",
    "Las carpetas de esta sesión contienen los ajustes del propio Wendlebox: las acciones no pueden alcanzarlos, pero "
    "todo lo demás en ellas queda abierto a ChatGPT."};

}  // namespace messages::workspace

}  // namespace wendlebox
