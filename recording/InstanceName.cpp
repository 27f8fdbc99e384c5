#include "recording/InstanceName.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include "recording/ProgramFolder.h"

namespace quillon {
namespace {

// Links and `..` must not make two names for one folder; a folder not made yet has no links.
QString canonical(const QString& folder)
{
    const QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    const QString resolved = QFileInfo(clean).canonicalFilePath();
    return resolved.isEmpty() ? clean : resolved;
}

}  // namespace

QString DefaultProgramFolder(const QString& executableDir, const QString& dataHome)
{
    const QString wanted =
        IsInstalledExecutableFolder(executableDir) ? dataHome + QStringLiteral("/Quillon") : executableDir;
    return QDir::cleanPath(QDir(wanted).absolutePath());
}

QString DefaultProgramFolder(const QString& executableDir)
{
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty()) {
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    }
    return DefaultProgramFolder(executableDir, dataHome);
}

QString InstanceBusName(const QString& folder, const QString& defaultFolder)
{
    QString id = QString::fromLatin1(kApplicationId);
    const QString path = canonical(folder);
    if (path == canonical(defaultFolder)) {
        return id;
    }
    // A bus name element takes letters, digits and '_' only and must not begin with a digit.
    const QByteArray hash = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return id + QStringLiteral(".f") + QString::fromLatin1(hash);
}

QString WindowExecutableDir(const QString& cliDir)
{
    const QString beside = cliDir + QStringLiteral("/quillon");
    const QString inGui = cliDir + QStringLiteral("/gui/quillon");
    if (!QFileInfo(beside).isExecutable() && QFileInfo(inGui).isExecutable()) {
        return cliDir + QStringLiteral("/gui");
    }
    return cliDir;
}

}  // namespace quillon
