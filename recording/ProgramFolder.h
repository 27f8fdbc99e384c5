#pragma once

#include <QString>

namespace quillon {

// Where Quillon keeps nu.ini and the folder `file` with the recordings.
struct ProgramFolderChoice {
    QString path;           // absolute, without a trailing slash
    bool fellBack = false;  // the wanted folder was not writable; `path` is the user's data folder instead
    QString wanted;         // the folder that was asked for (equal to path unless fellBack)
};

// Picks the program folder: `homeOption` (--home DIR) first, then `envHome`
// (QUILLON_HOME), else `executableDir`, or `dataHome`/Quillon straight away when the
// executable is installed (see IsInstalledExecutableFolder). A folder we cannot write to
// is replaced by `dataHome`/Quillon, where dataHome is $XDG_DATA_HOME or ~/.local/share.
// The folder and its subfolder `file` are created when missing.
ProgramFolderChoice ChooseProgramFolder(const QString& homeOption, const QString& envHome, const QString& executableDir,
                                        const QString& dataHome);

// True for the configured binary folder and anything under /usr: a program there is
// shared by every user, so its folder is no place for one user's recordings.
bool IsInstalledExecutableFolder(const QString& executableDir);

// The same with the process's environment (QUILLON_HOME, XDG_DATA_HOME, HOME).
ProgramFolderChoice ChooseProgramFolder(const QString& homeOption, const QString& executableDir);

// The folder chosen at start-up, program-wide (the About window shows it).
const ProgramFolderChoice& ProgramFolder();
void ProgramFolder(const ProgramFolderChoice& choice);

// A one-line note for the user when the program had to fall back; empty otherwise.
QString ProgramFolderNote(const ProgramFolderChoice& choice);

}  // namespace quillon
