#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

class QAudioOutput;
class QLabel;
class QListWidget;
class QMediaPlayer;
class QPushButton;
class QSlider;
class QToolButton;

namespace quillon {

// Listen-back window: plays the last recording at once and offers to delete it or to show it
// in its folder. It keeps no file of its own: every action reads the last recording's path anew.
class FrmST final : public QWidget {
public:
    using LastFile = std::function<QString()>;
    // The file a recording is writing now; empty while idle.
    using RecordingFile = std::function<QString()>;

    // `lastFile` returns the path of the file recorded last (empty before the first recording).
    // `owner` is the window it is centred on; it is not the window's parent, so the window is
    // never destroyed along with it.
    FrmST(QWidget* owner, LastFile lastFile, RecordingFile recordingFile = {});
    ~FrmST() override;
    FrmST(const FrmST&) = delete;
    FrmST& operator=(const FrmST&) = delete;

    // Gives the player the last recording and starts it; an empty path leaves the player empty.
    void PlayLastFile();

    [[nodiscard]] QMediaPlayer* Player() const { return player_; }
    [[nodiscard]] QAudioOutput* AudioOutput() const { return audio_; }
    [[nodiscard]] QPushButton* DeleteButton() const { return command1_; }
    [[nodiscard]] QPushButton* OpenFolderButton() const { return command3_; }
    [[nodiscard]] QPushButton* CloseButton() const { return command2_; }
    [[nodiscard]] QSlider* PositionBar() const { return position_; }
    [[nodiscard]] QSlider* VolumeBar() const { return volume_; }
    // The markers of the file playing ("m:ss label"); choosing one moves the player there.
    [[nodiscard]] QListWidget* MarkerList() const { return markers_; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Command1_Click();  // delete the recording
    void Command3_Click();  // show it in its folder
    void ReleaseMedia();
    void ShowPosition(qint64 ms);
    void ListMarkers(const QString& path);

    LastFile lastFile_;
    RecordingFile recordingFile_;
    QPointer<QWidget> owner_;
    QMediaPlayer* player_ = nullptr;
    QAudioOutput* audio_ = nullptr;
    QLabel* lblFile_ = nullptr;
    QToolButton* play_ = nullptr;
    QToolButton* stop_ = nullptr;
    QSlider* position_ = nullptr;
    QLabel* lblTime_ = nullptr;
    QSlider* volume_ = nullptr;
    QListWidget* markers_ = nullptr;
    QPushButton* command1_ = nullptr;
    QPushButton* command3_ = nullptr;
    QPushButton* command2_ = nullptr;
    bool centred_ = false;
};

// The listen button: opens the window (or brings the open one to the front) and switches its
// player to the last recording. `window` tracks the open window; it empties when it closes.
FrmST* ShowListenBack(QWidget* owner, QPointer<FrmST>& window, const FrmST::LastFile& lastFile,
                      const FrmST::RecordingFile& recordingFile = {});

// True when `a` and `b` name the same file (also through "..", "." or links); false for an empty one.
bool SameFile(const QString& a, const QString& b);

}  // namespace quillon
