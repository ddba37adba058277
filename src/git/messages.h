// The git floor's messages to the user, each in English, Brazilian
// Portuguese and Spanish side by side, grouped by what shows them: kept out
// of the logic so that each language can be read and checked in one place.
// A text that two floors show lives in the lower floor's table.
#pragma once

#include "i18n/i18n.h"

namespace wendlebox {

namespace messages::git {

// Git snapshots and commits (git.cpp)
inline constexpr i18n::Text kNotInstalled{"Git is not installed. Automatic commits are unavailable.",
                                          "O Git não está instalado. Os commits automáticos não estão disponíveis.",
                                          "Git no está instalado. Los commits automáticos no están disponibles."};
inline constexpr i18n::Text kRepositoryCreated{"Git repository created for this folder.",
                                               "Repositório Git criado para esta pasta.",
                                               "Repositorio Git creado para esta carpeta."};
inline constexpr i18n::Text kNoRepositoryHere{
    "No Git snapshots here: wendlebox does not make a repository of your home folder or of /. To have them, run git "
    "init yourself or work in a project folder.",
    "Sem snapshots do Git aqui: o wendlebox não cria um repositório na sua pasta pessoal nem em /. Para tê-los, execute "
    "git init você mesmo ou trabalhe em uma pasta de projeto.",
    "Sin snapshots de Git aquí: wendlebox no crea un repositorio en tu carpeta personal ni en /. Para tenerlos, ejecuta "
    "git init tú mismo o trabaja en una carpeta de proyecto."};
inline constexpr i18n::Text kSnapshotSaved{"Git snapshot saved.", "Snapshot do Git salvo.", "Snapshot de Git guardado."};
inline constexpr i18n::Text kPrivateLeftOut{
    "Left out of the Git snapshot, as other users can read this repository's .git but not these files: {}. To make "
    ".git private: {}",
    "Deixados fora do snapshot do Git, pois outros usuários podem ler o .git deste repositório, mas não estes "
    "arquivos: {}. Para tornar o .git privado: {}",
    "Se dejaron fuera del snapshot de Git, porque otros usuarios pueden leer el .git de este repositorio, pero no "
    "estos archivos: {}. Para hacer privado el .git: {}"};
inline constexpr i18n::Text kSecretsKeptOut{
    "Kept out of Git, as their names say they hold secrets (listed in .git/info/exclude): {}",
    "Mantidos fora do Git, pois os nomes indicam que guardam segredos (listados em .git/info/exclude): {}",
    "Se dejaron fuera de Git, porque sus nombres indican que guardan secretos (listados en .git/info/exclude): {}"};

}  // namespace messages::git

}  // namespace wendlebox
