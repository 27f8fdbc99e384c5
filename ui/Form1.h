#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QDateTime>
#include <QPointer>
#include <QWidget>

#include "recording/DeliveryPacing.h"
#include "recording/HandsFree.h"
#include "recording/RecordingControl.h"
#include "recording/RecordingPorts.h"
#include "ui/About.h"
#include "ui/FrmST.h"
#include "ui/RemoteTarget.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QStatusBar;
class QTimer;

namespace quillon {

class PictureBox;
class LiveDisplay;
class TrayIcon;

// The rate box lets through Backspace, and a digit while the text is shorter
// or longer than five characters.
bool RateKeyAccepted(QChar key, int textLength);

// The main window: recording control, device and line choice, effect switches,
// the live display.
class Form1 final : public QWidget, public RemoteTarget, private RecordingView {
    Q_OBJECT
public:
    Form1(std::unique_ptr<RecordingPorts> engines, QString programFolder, QWidget* parent = nullptr);
    ~Form1() override;

    // Load: fills the controls, shows the window, prepares the numbered file.
    void Form_Load();
    // Unload: stops a running recording, releases the engines and closes the listen-back and
    // About windows: the program ends with its main window. Runs once.
    void Form_Unload();

    // Handlers, public so that other windows and tests can run them.
    void cmdDo_Click();
    void cboDev_Click();
    void cboRecLine_Click();
    void sldVol_Change();
    void cboSamplerate_Click();
    void chkStereo_Click();
    void cmdSelFmt_Click();
    void chkFX_Click(int index);
    void tmrVis_Timer();

    // Buttons that lead to the other windows, and the tray icon (Form1Windows.cpp).
    void cmdBrowse_Click();
    void cmdFXOpts_Click();
    void Command3_Click();
    void CmdST_Click();
    void Command1_Click();
    void Command4_Click();
    [[nodiscard]] FrmST* ListenBackWindow() const { return frmST_.data(); }
    [[nodiscard]] About* AboutWindow() const { return about_.data(); }
    [[nodiscard]] TrayIcon* Tray() const { return tray_.get(); }

    void FillDeviceList();
    void FillLineList();
    // Devices came, went or changed: the list follows while no recording runs,
    // keeping the chosen device (by what identifies it) and refreshing its lines.
    void DevicesChanged();
    void ShowOutputFormat();
    void SetFramesEnabled(bool enabled);

    // The format chooser, installed by whoever provides it; called with the
    // rate, the channel count and this window as owner.
    using FormatChooser = std::function<void(std::int32_t, std::int16_t, QWidget*)>;
    void SelectFormatWith(FormatChooser chooser) { formatChooser_ = std::move(chooser); }

    [[nodiscard]] RecordingControl& recording() { return *control_; }
    [[nodiscard]] RecordingPorts& engines() { return *engines_; }
    [[nodiscard]] bool blnLoaded() const { return blnLoaded_; }
    [[nodiscard]] const LiveDisplay& display() const { return *display_; }
    // Panel 1: file size, 2: time, 4: the recording's markers and disk time left.
    [[nodiscard]] QString StatusText(int panel) const;

    // Control from outside: the session bus, the tray menu, a desktop shortcut (Form1Remote.cpp).
    // A start or stop runs after the request has returned, as a click on the record button;
    // requests while a box is open or a click is under way change nothing.
    [[nodiscard]] QString RemoteState() const override;
    [[nodiscard]] QString RemoteFile() const override;
    [[nodiscard]] qint64 RemoteSeconds() const override;
    void RemoteStart() override;
    void RemoteStop() override;
    void RemoteToggle() override;
    void RemoteMark() override;
    void RemoteShow() override;
    // A note in the status bar that stays until the window closes (not a box).
    void ShowNote(const QString& text);

signals:
    // After load step 11 (tray icon and hooks go here) and before unload releases.
    void loaded();
    void unloading();
    // The unload has finished: the program may end.
    void unloaded();
    // A recording started or stopped.
    void recordingChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Listens for device changes; says when the sound server cannot be reached and keeps asking.
    void FollowDevices();
    void RecordingStarted() override;
    void RecordingStopped(const QString& nextFile) override;
    void RecordingContinued(const QString& file) override;
    void buildLayout();
    void connectWindows();
    [[nodiscard]] RecordInputs inputs() const;
    void FixStatusPanels();
    // The window came into sight or left it (hidden in the tray, minimised).
    void SetInSight(bool inSight);
    // Something a tick shows may have changed: the display ticks again (while in sight).
    void WakeDisplay();
    // tmrVis: the tick in sight, the hand-over only out of sight; rests when idle.
    void DisplayTimer();
    // Closes the listen-back and About windows (Form1Windows.cpp).
    void CloseOtherWindows();
    // Hands-free recording (Form1HandsFree.cpp). handsFreeClick runs first on the record
    // button and returns true when it dealt with the press (a wait for the start time set
    // or given up).
    void setupHandsFree();
    bool handsFreeClick(const RecordInputs& in);
    void handsFreeStarted();
    void handsFreeStopped();
    // What the time panel says while waiting for the start time or for sound; empty otherwise.
    [[nodiscard]] QString handsFreeTimeText() const;
    // Tells the bus when waiting for sound has turned into a take.
    void noticeArmedChange();
    // The record button's click once the caller has its answer, if it still leads to `record`.
    void remoteClick(bool record);
    // Recording, or waiting for the start time.
    [[nodiscard]] bool busy() const;

    std::unique_ptr<RecordingPorts> engines_;
    std::vector<std::string> shownIds_;
    bool devicesChangedWhileRecording_ = false;
    std::unique_ptr<RecordingControl> control_;
    std::unique_ptr<LiveDisplay> display_;
    FormatChooser formatChooser_;
    QPointer<FrmST> frmST_;
    QPointer<About> about_;
    std::unique_ptr<TrayIcon> tray_;
    bool blnLoaded_ = false;
    bool unloaded_ = false;
    bool released_ = false;  // the engines are gone: the unload has passed its stop
    qint64 lastFileSize_ = 0;
    DeliveryPacing pacing_{DeliveryPacing::Audience::Display};
    bool inSight_ = false;
    // What the tick last looked at and showed, so an unchanged figure costs nothing.
    struct TickState {
        bool recording = false;       // the panels show a recording's figures
        std::int32_t checkedMs = -1;  // recorded time when the file's size was last read
        QString checkedFile;
        qint64 shownSize = -1;
        std::int64_t shownSeconds = -1;
        QString shownStatus;
    };
    TickState tick_;

    QGroupBox* frmInp = nullptr;
    QLabel* lblDev = nullptr;
    QComboBox* cboDev = nullptr;
    QLabel* lblLine = nullptr;
    QComboBox* cboRecLine = nullptr;
    QLabel* lblVol = nullptr;
    QSlider* sldVol = nullptr;
    QLabel* lblVolPer = nullptr;

    QGroupBox* frmOut = nullptr;
    QLineEdit* txtFile = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QLabel* lblWAVFmt = nullptr;
    QLineEdit* txtWAVFmt = nullptr;
    QPushButton* cmdSelFmt = nullptr;
    QLabel* lblSamplerate = nullptr;
    QComboBox* cboSamplerate = nullptr;
    QCheckBox* chkStereo = nullptr;
    QPushButton* Command3 = nullptr;

    QGroupBox* frmEffects = nullptr;
    std::array<QCheckBox*, 4> chkFX{};

    QGroupBox* Frame1 = nullptr;
    QPushButton* cmdDo = nullptr;
    QPushButton* CmdST = nullptr;
    QPushButton* cmdFXOpts = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command4 = nullptr;

    QGroupBox* Frame2 = nullptr;
    PictureBox* picAmpl = nullptr;
    PictureBox* picFreq = nullptr;
    PictureBox* picVUL = nullptr;
    PictureBox* picVUR = nullptr;
    QLabel* lblVUchL = nullptr;
    QLabel* lblVUchR = nullptr;

    QStatusBar* sbar = nullptr;
    std::array<QLabel*, 2> sbarPanels{};
    // Third panel: audio the capture had to drop in this recording, hidden while there is none.
    QLabel* sbarDropped = nullptr;
    // Fourth panel, for what a recording has to say beyond size and time: dropouts and
    // clipping marked so far, the disk's time left; hidden before the first recording.
    QLabel* sbarStatus = nullptr;
    // Notes from the desktop's services; hidden while there is none.
    QLabel* sbarNote = nullptr;
    bool remoteClickPending_ = false;
    QLabel* Label1 = nullptr;
    QTimer* tmrVis = nullptr;

    HandsFreeSettings handsFree_;
    QTimer* tmrStartAt_ = nullptr;
    QTimer* tmrStopAt_ = nullptr;
    QDateTime startMoment_;
    QDateTime stopMoment_;
    bool waitingForStart_ = false;
    bool shownArmed_ = false;  // what the last tick saw, to tell the bus when a take begins
    bool startingNow_ = false;
};

}  // namespace quillon
