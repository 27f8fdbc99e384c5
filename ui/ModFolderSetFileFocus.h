#pragma once

#include <QString>
#include <QUrl>
#include <functional>

namespace quillon {

// Shows folders on the desktop. The program only ever hands it URLs built with
// QUrl::fromLocalFile, so no path is ever parsed by a shell.
class FolderOpener {
public:
    virtual ~FolderOpener() = default;
    // Asks the desktop's file manager to show `file` selected in its folder, without waiting for
    // it; `done` runs later on this thread, with false when the request failed.
    virtual void ShowItem(const QUrl& file, std::function<void(bool shown)> done) = 0;
    // Opens `folder` with the desktop's default handler; true when one was started.
    virtual bool OpenFolder(const QUrl& folder) = 0;
};

// The installed opener: the desktop's (D-Bus file manager, then the default URL handler) unless a
// test installed another.
FolderOpener& folderOpener();
// Installs `opener` (not owned; must outlive its use). nullptr restores the desktop's.
void setFolderOpener(FolderOpener* opener);

// Removes leading and trailing blanks (spaces only, as typed into the file box).
QString TrimBlanks(const QString& path);

// True when a file or folder of exactly this name exists. No wildcards: '*' and '?' are plain
// characters in Linux file names.
bool FileExists(const QString& path);

// Asks the desktop to show the folder of `path` with the file selected, and returns at once:
// false when the file is missing. When the file manager refuses, the folder is opened without a
// selection.
bool OpenFolderAndSelectFile(const QString& path);

}  // namespace quillon
