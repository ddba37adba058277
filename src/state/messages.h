// The state floor's messages to the user, each in English, Brazilian
// Portuguese and Spanish side by side, grouped by what shows them: kept out
// of the logic so that each language can be read and checked in one place.
// A text that two floors show lives in the lower floor's table.
#pragma once

#include "i18n/i18n.h"

namespace wendlebox {

namespace messages::state {

// The saved chats (chats.cpp)
inline constexpr i18n::Text kKeptAside{
    "{} could not be read whole: the chats it could read are kept, and the file itself is saved as {}.",
    "{} não pôde ser lido por inteiro: os chats que puderam ser lidos foram mantidos, e o próprio arquivo foi salvo "
    "como {}.",
    "{} no se pudo leer entero: se conservan los chats que se pudieron leer, y el propio archivo se guardó como {}."};

// The project's .wendlebox folder (project_folder.cpp)
inline constexpr i18n::Text kCannotWrite{
    "Wendlebox cannot work in {0}: {1} cannot be written ({2}). Give yourself write access (chmod u+w {1}), or start "
    "wendlebox in another folder.",
    "O Wendlebox não pode trabalhar em {0}: {1} não pode ser gravado ({2}). Dê a você permissão de escrita (chmod u+w "
    "{1}), ou inicie o wendlebox em outra pasta.",
    "Wendlebox no puede trabajar en {0}: no se puede escribir en {1} ({2}). Date permiso de escritura (chmod u+w {1}), "
    "o inicia wendlebox en otra carpeta."};
inline constexpr i18n::Text kReadOnlySystem{
    "Wendlebox cannot work in {0}: {1} cannot be written ({2}). Start wendlebox in a folder on a file system that can "
    "be written.",
    "O Wendlebox não pode trabalhar em {0}: {1} não pode ser gravado ({2}). Inicie o wendlebox em uma pasta de um "
    "sistema de arquivos gravável.",
    "Wendlebox no puede trabajar en {0}: no se puede escribir en {1} ({2}). Inicia wendlebox en una carpeta de un "
    "sistema de archivos con escritura."};

// The program's own files (state_file.cpp)
inline constexpr i18n::Text kFixTheFile{"Fix the file, or move it away to start again from the defaults.",
                                        "Corrija o arquivo, ou mova-o para recomeçar dos valores padrão.",
                                        "Corrige el archivo, o muévelo para empezar de nuevo con los valores predeterminados."};

}  // namespace messages::state

}  // namespace wendlebox
