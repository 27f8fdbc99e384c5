#include "ui/ModFolderSetFileFocus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QStringList>

namespace quillon {
namespace {

class DesktopFolderOpener final : public FolderOpener {
public:
    void ShowItem(const QUrl& file, std::function<void(bool shown)> done) override
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) {
            done(false);
            return;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << QStringList{file.toString(QUrl::FullyEncoded)} << QString();
        // The file manager may take seconds to start: the window goes on meanwhile.
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), QCoreApplication::instance());
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                         [done = std::move(done)](QDBusPendingCallWatcher* finished) {
                             finished->deleteLater();
                             const QDBusError::ErrorType error = finished->error().type();
                             // No answer in time is not a refusal: the file manager may still show
                             // the file, and a folder opened as well would be a second window.
                             done(!finished->isError() || error == QDBusError::NoReply ||
                                  error == QDBusError::Timeout || error == QDBusError::TimedOut);
                         });
    }

    bool OpenFolder(const QUrl& folder) override { return QDesktopServices::openUrl(folder); }
};

DesktopFolderOpener& desktopOpener()
{
    static DesktopFolderOpener opener;
    return opener;
}

FolderOpener* installed = nullptr;

}  // namespace

FolderOpener& folderOpener()
{
    return installed != nullptr ? *installed : desktopOpener();
}

void setFolderOpener(FolderOpener* opener)
{
    installed = opener;
}

QString TrimBlanks(const QString& path)
{
    qsizetype first = 0;
    qsizetype last = path.size();
    while (first < last && path.at(first) == QLatin1Char(' ')) {
        ++first;
    }
    while (last > first && path.at(last - 1) == QLatin1Char(' ')) {
        --last;
    }
    return path.mid(first, last - first);
}

bool FileExists(const QString& path)
{
    if (path.isEmpty()) {
        return false;
    }
    // exists() on a dangling link is false; the link itself is still a file to show.
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool OpenFolderAndSelectFile(const QString& path)
{
    const QString trimmed = TrimBlanks(path);
    if (!FileExists(trimmed)) {
        return false;
    }
    const QFileInfo info(trimmed);
    const QUrl folder = QUrl::fromLocalFile(info.absolutePath());
    folderOpener().ShowItem(QUrl::fromLocalFile(info.absoluteFilePath()), [folder](bool shown) {
        if (!shown) {
            folderOpener().OpenFolder(folder);
        }
    });
    return true;
}

}  // namespace quillon
