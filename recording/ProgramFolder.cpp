#include "recording/ProgramFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace quillon {
namespace {

// Asking the file system is the only reliable test: permission bits say
// nothing about read-only mounts or ACLs.
bool canWriteIn(const QString& folder)
{
    if (!QDir().mkpath(folder)) {
        return false;
    }
    QTemporaryFile probe(folder + QStringLiteral("/.quillon-probe-XXXXXX"));
    return probe.open();
}

ProgramFolderChoice settle(const QString& wanted, const QString& dataHome)
{
    ProgramFolderChoice choice;
    choice.wanted = QDir::cleanPath(QDir(wanted).absolutePath());
    choice.path = choice.wanted;
    if (!canWriteIn(choice.path)) {
        choice.fellBack = true;
        choice.path = QDir::cleanPath(QDir(dataHome).absolutePath() + QStringLiteral("/Quillon"));
        QDir().mkpath(choice.path);
    }
    QDir().mkpath(choice.path + QStringLiteral("/file"));
    return choice;
}

ProgramFolderChoice& current()
{
    static ProgramFolderChoice choice;
    return choice;
}

}  // namespace

ProgramFolderChoice ChooseProgramFolder(const QString& homeOption, const QString& envHome, const QString& executableDir,
                                        const QString& dataHome)
{
    QString wanted = executableDir;
    if (!homeOption.isEmpty()) {
        wanted = homeOption;
    } else if (!envHome.isEmpty()) {
        wanted = envHome;
    } else if (IsInstalledExecutableFolder(executableDir)) {
        wanted = dataHome + QStringLiteral("/Quillon");
    }
    return settle(wanted, dataHome);
}

bool IsInstalledExecutableFolder(const QString& executableDir)
{
    if (executableDir.isEmpty()) {
        return false;
    }
    const QString dir = QDir::cleanPath(QDir(executableDir).absolutePath());
    return dir == QDir::cleanPath(QStringLiteral(QUILLON_INSTALL_BINDIR)) || dir == QStringLiteral("/usr") ||
           dir.startsWith(QStringLiteral("/usr/"));
}

ProgramFolderChoice ChooseProgramFolder(const QString& homeOption, const QString& executableDir)
{
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty()) {
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    }
    return ChooseProgramFolder(homeOption, qEnvironmentVariable("QUILLON_HOME"), executableDir, dataHome);
}

const ProgramFolderChoice& ProgramFolder()
{
    return current();
}

void ProgramFolder(const ProgramFolderChoice& choice)
{
    current() = choice;
}

QString ProgramFolderNote(const ProgramFolderChoice& choice)
{
    if (!choice.fellBack) {
        return {};
    }
    return QStringLiteral("%1 is not writable; recordings and nu.ini are kept in %2")
        .arg(QDir::toNativeSeparators(choice.wanted), QDir::toNativeSeparators(choice.path));
}

}  // namespace quillon
