#pragma once

// Stands in for the desktop while it lives: records what the program asked to show and answers
// as scripted.
#include <QUrl>
#include <functional>
#include <vector>

#include "ui/ModFolderSetFileFocus.h"

namespace quillon::test {

class RecordingOpener final : public FolderOpener {
public:
    RecordingOpener() { setFolderOpener(this); }
    ~RecordingOpener() override { setFolderOpener(nullptr); }
    RecordingOpener(const RecordingOpener&) = delete;
    RecordingOpener& operator=(const RecordingOpener&) = delete;

    void ShowItem(const QUrl& file, std::function<void(bool)> done) override
    {
        shown.push_back(file);
        done(fileManagerAnswers);
    }
    bool OpenFolder(const QUrl& folder) override
    {
        opened.push_back(folder);
        return true;
    }

    bool fileManagerAnswers = true;
    std::vector<QUrl> shown;
    std::vector<QUrl> opened;
};

}  // namespace quillon::test
