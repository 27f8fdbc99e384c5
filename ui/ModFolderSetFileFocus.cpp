#include "ui/ModFolderSetFileFocus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QStringList>

namespace quillon {
namespace {

// A file manager that never answers must not freeze the window for long.
constexpr int kShowItemsTimeoutMs = 3000;

class DesktopFolderOpener final : public FolderOpener {
public:
    bool ShowItem(const QUrl& file) override
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) {
            return false;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << QStringList{file.toString(QUrl::FullyEncoded)} << QString();
        const QDBusMessage reply = bus.call(call, QDBus::Block, kShowItemsTimeoutMs);
        return reply.type() == QDBusMessage::ReplyMessage;
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
    FolderOpener& opener = folderOpener();
    if (opener.ShowItem(QUrl::fromLocalFile(info.absoluteFilePath()))) {
        return true;
    }
    return opener.OpenFolder(QUrl::fromLocalFile(info.absolutePath()));
}

}  // namespace quillon
