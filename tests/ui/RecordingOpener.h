#pragma once

// Stands in for the desktop while it lives: records what the program asked to show and answers
// as scripted.
#include <QUrl>
#include <vector>

#include "ui/ModFolderSetFileFocus.h"

namespace quillon::test {

class RecordingOpener final : public FolderOpener {
public:
    RecordingOpener() { setFolderOpener(this); }
    ~RecordingOpener() override { setFolderOpener(nullptr); }
    RecordingOpener(const RecordingOpener&) = delete;
    RecordingOpener& operator=(const RecordingOpener&) = delete;

    bool ShowItem(const QUrl& file) override
    {
        shown.push_back(file);
        return fileManagerAnswers;
    }
    bool OpenFolder(const QUrl& folder) override
    {
        opened.push_back(folder);
        return folderOpens;
    }

    bool fileManagerAnswers = true;
    bool folderOpens = true;
    std::vector<QUrl> shown;
    std::vector<QUrl> opened;
};

}  // namespace quillon::test
