#include "ui/Form1.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSlider>
#include <QStatusBar>
#include <QStringList>
#include <QTimer>

#include <algorithm>

#include "common/MessageBoxes.h"
#include "recording/DisplayFormat.h"
#include "recording/FileCounter.h"
#include "recording/Language.h"
#include "ui/LiveDisplay.h"
#include "ui/PictureBox.h"
#include "ui/TrayIcon.h"

namespace quillon {
namespace {

// Read when used: the translation is installed after start-up's constants.
QString stopText()
{
    return QCoreApplication::translate("Quillon", "停止录音");
}
QString startText()
{
    return QCoreApplication::translate("Quillon", "开始录音");
}

// The display's tick while the window is in sight.
constexpr std::chrono::milliseconds kTick{25};
constexpr std::chrono::milliseconds kWaitingTick{250};
// 15 twips make one pixel.
constexpr int kWidth = 5385 / 15;
constexpr int kHeight = 5625 / 15;
void appNotice(const char* text)
{
    messageBoxes().show("Quillon", Translated(text), MessageIcon::Warning);
}

template <typename W>
W* place(QWidget* parent, const char* name, int x, int y, int w, int h)
{
    auto* widget = new W(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h)
{
    auto* l = place<QLabel>(parent, name, x, y, w, h);
    l->setText(text);
    return l;
}

QPushButton* button(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h)
{
    auto* b = place<QPushButton>(parent, name, x, y, w, h);
    b->setText(text);
    b->setAutoDefault(false);
    return b;
}

QGroupBox* frame(QWidget* parent, const char* name, const QString& title, int x, int y, int w, int h)
{
    auto* g = place<QGroupBox>(parent, name, x, y, w, h);
    g->setTitle(title);
    return g;
}

// A microphone on a red disc: the program's icon, drawn rather than shipped.
QIcon programIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const double s = size / 32.0;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(200, 30, 40));
        p.drawEllipse(QRectF(1 * s, 1 * s, 30 * s, 30 * s));
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(12 * s, 6 * s, 8 * s, 13 * s), 4 * s, 4 * s);
        p.setPen(QPen(Qt::white, 2 * s));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(9 * s, 10 * s, 14 * s, 12 * s), 180 * 16, 180 * 16);
        p.drawLine(QPointF(16 * s, 22 * s), QPointF(16 * s, 26 * s));
        p.drawLine(QPointF(12 * s, 26 * s), QPointF(20 * s, 26 * s));
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

bool RateKeyAccepted(QChar key, int textLength)
{
    if (key.unicode() == 8) {
        return true;
    }
    return key >= QLatin1Char('0') && key <= QLatin1Char('9') && textLength != 5;
}

Form1::Form1(std::unique_ptr<RecordingPorts> engines, QString programFolder, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      engines_(std::move(engines))
{
    control_ = std::make_unique<RecordingControl>(engines_->capture(), engines_->encoder(), engines_->effects(),
                                                  std::move(programFolder), static_cast<RecordingView&>(*this));
    engines_->capture().OnGotData(
        [this](std::span<const std::int16_t> samples, std::int32_t length) { control_->GotData(samples, length); });
    buildLayout();
    connectWindows();
    display_ = std::make_unique<LiveDisplay>(*picAmpl, *picFreq, *picVUL, *picVUR);

    // The display ticks while a tick can change what the window shows: while it records and
    // is in sight, and once after each change of state (WakeDisplay). A tick that would show
    // the same again is not run, and out of sight nothing is drawn at all.
    tmrVis = new QTimer(this);
    tmrVis->setObjectName(QStringLiteral("tmrVis"));
    connect(tmrVis, &QTimer::timeout, this, &Form1::DisplayTimer);
    setupHandsFree();
}

Form1::~Form1()
{
    Form_Unload();
    // Windows without a parent: ended here if their closing has not deleted them yet.
    const std::unique_ptr<FrmST> listenBack(frmST_.data());
    const std::unique_ptr<About> about(about_.data());
}

void Form1::buildLayout()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("QuillonV3.91"));
    setWindowIcon(programIcon());
    setFixedSize(kWidth, kHeight);
    QFont face(QStringLiteral("Tahoma"));
    face.setPointSize(9);
    setFont(face);

    frmInp = frame(this, "frmInp", QCoreApplication::translate("Quillon", "输入"), 4, 2, 174, 112);
    lblDev = label(frmInp, "lblDev", QCoreApplication::translate("Quillon", "设备:"), 6, 20, 34, 22);
    cboDev = place<QComboBox>(frmInp, "cboDev", 42, 20, 126, 22);
    lblLine = label(frmInp, "lblLine", QCoreApplication::translate("Quillon", "线路:"), 6, 50, 34, 22);
    cboRecLine = place<QComboBox>(frmInp, "cboRecLine", 42, 50, 126, 22);
    lblVol = label(frmInp, "lblVol", QCoreApplication::translate("Quillon", "声音:"), 6, 80, 34, 22);
    sldVol = place<QSlider>(frmInp, "sldVol", 42, 80, 88, 22);
    sldVol->setOrientation(Qt::Horizontal);
    sldVol->setRange(0, 65535);
    sldVol->setSingleStep(1);
    sldVol->setPageStep(0);
    sldVol->setTickPosition(QSlider::NoTicks);
    lblVolPer = label(frmInp, "lblVolPer", QStringLiteral("100%"), 132, 80, 38, 22);
    // Screen readers name a control after its buddy label; without one they say the frame's title.
    lblDev->setBuddy(cboDev);
    lblLine->setBuddy(cboRecLine);
    lblVol->setBuddy(sldVol);

    frmOut = frame(this, "frmOut", QCoreApplication::translate("Quillon", "输出"), 182, 2, 173, 112);
    txtFile = place<QLineEdit>(frmOut, "txtFile", 6, 18, 130, 21);
    cmdBrowse = button(frmOut, "cmdBrowse", QStringLiteral("..."), 139, 18, 28, 21);
    lblWAVFmt = label(frmOut, "lblWAVFmt", QCoreApplication::translate("Quillon", "WAV格式:"), 6, 42, 56, 21);
    txtWAVFmt = place<QLineEdit>(frmOut, "txtWAVFmt", 6, 63, 130, 21);
    txtWAVFmt->setReadOnly(true);
    cmdSelFmt = button(frmOut, "cmdSelFmt", QStringLiteral("..."), 139, 63, 28, 21);
    lblSamplerate = label(frmOut, "lblSamplerate", QCoreApplication::translate("Quillon", "取样:"), 6, 87, 32, 21);
    cboSamplerate = place<QComboBox>(frmOut, "cboSamplerate", 38, 87, 68, 21);
    cboSamplerate->setEditable(true);
    cboSamplerate->setInsertPolicy(QComboBox::NoInsert);
    cboSamplerate->addItems(
        {QStringLiteral("44100"), QStringLiteral("22050"), QStringLiteral("11025"), QStringLiteral("8000")});
    // Typed keys reach the combo box (its line edit's focus proxy), which hands them on without
    // passing the line edit's filters: filter both. Inline completion would select the rest of
    // a listed rate after the first digit, and the five-character rule would then refuse the next.
    cboSamplerate->installEventFilter(this);
    cboSamplerate->lineEdit()->installEventFilter(this);
    cboSamplerate->setCompleter(nullptr);
    chkStereo = place<QCheckBox>(frmOut, "chkStereo", 110, 87, 60, 21);
    chkStereo->setText(QCoreApplication::translate("Quillon", "立体声"));
    Command3 = button(frmOut, "Command3", QCoreApplication::translate("Quillon", "打开文件夹"), 66, 40, 101, 21);
    txtFile->setAccessibleName(QCoreApplication::translate("Quillon", "输出文件"));
    cmdBrowse->setAccessibleName(QCoreApplication::translate("Quillon", "选择输出文件"));
    lblWAVFmt->setBuddy(txtWAVFmt);
    cmdSelFmt->setAccessibleName(QCoreApplication::translate("Quillon", "选择WAV格式"));
    lblSamplerate->setBuddy(cboSamplerate);
    cboSamplerate->lineEdit()->setAccessibleName(lblSamplerate->text());

    frmEffects = frame(this, "frmEffects", QCoreApplication::translate("Quillon", "特效/滤镜"), 4, 116, 174, 90);
    const std::array<QString, 4> fxNames = {
        QCoreApplication::translate("Quillon", "回声"), QCoreApplication::translate("Quillon", "周相移动"),
        QCoreApplication::translate("Quillon", "放大器"), QCoreApplication::translate("Quillon", "均衡器")};
    for (int i = 0; i < 4; ++i) {
        auto* box = place<QCheckBox>(frmEffects, "chkFX", 8 + (i % 2) * 82, 24 + (i / 2) * 30, 80, 22);
        box->setObjectName(QStringLiteral("chkFX%1").arg(i));
        box->setText(fxNames[static_cast<std::size_t>(i)]);
        connect(box, &QCheckBox::clicked, this, [this, i] { chkFX_Click(i); });
        chkFX[static_cast<std::size_t>(i)] = box;
    }

    Frame1 = frame(this, "Frame1", QCoreApplication::translate("Quillon", "操作"), 182, 116, 173, 90);
    cmdDo = button(Frame1, "cmdDo", startText(), 6, 18, 80, 22);
    CmdST = button(Frame1, "CmdST", QCoreApplication::translate("Quillon", "试听"), 89, 18, 78, 22);
    cmdFXOpts = button(Frame1, "cmdFXOpts", QCoreApplication::translate("Quillon", "设置"), 6, 42, 80, 22);
    Command1 = button(Frame1, "Command1", QCoreApplication::translate("Quillon", "关于"), 89, 42, 78, 22);
    Command4 = button(Frame1, "Command4", QCoreApplication::translate("Quillon", "最小化至系统托盘"), 6, 66, 161, 21);

    Frame2 = frame(this, "Frame2", QCoreApplication::translate("Quillon", "效果"), 4, 208, 351, 122);
    picAmpl = place<PictureBox>(Frame2, "picAmpl", 8, 20, 236, 60);
    picFreq = place<PictureBox>(Frame2, "picFreq", 248, 20, 96, 60);
    lblVUchL = label(Frame2, "lblVUchL", QCoreApplication::translate("Quillon", "左声道:"), 8, 84, 48, 16);
    picVUL = place<PictureBox>(Frame2, "picVUL", 58, 87, 286, 10);
    lblVUchR = label(Frame2, "lblVUchR", QCoreApplication::translate("Quillon", "右声道:"), 8, 102, 48, 16);
    picVUR = place<PictureBox>(Frame2, "picVUR", 58, 105, 286, 10);
    picAmpl->setAccessibleName(QCoreApplication::translate("Quillon", "示波器"));
    picFreq->setAccessibleName(QCoreApplication::translate("Quillon", "频谱"));
    picVUL->setAccessibleName(QCoreApplication::translate("Quillon", "左声道电平"));
    picVUR->setAccessibleName(QCoreApplication::translate("Quillon", "右声道电平"));

    Label1 = label(this, "Label1", QCoreApplication::translate("Quillon", "如需自动录音等定制功能, 欢迎与作者联系。"),
                   6, 332, 347, 18);

    sbar = place<QStatusBar>(this, "sbar", 0, kHeight - 22, kWidth, 22);
    sbar->setSizeGripEnabled(false);
    const std::array<QString, 2> initial = {QCoreApplication::translate("Quillon", "文件大小: 0 字节"),
                                            QCoreApplication::translate("Quillon", "长度: 0:00")};
    for (std::size_t i = 0; i < 2; ++i) {
        sbarPanels[i] = new QLabel(initial[i], sbar);
        sbarPanels[i]->setObjectName(QStringLiteral("sbarPanel%1").arg(i + 1));
        sbar->addWidget(sbarPanels[i], 1);
    }
    sbarDropped = new QLabel(sbar);
    sbarDropped->setObjectName(QStringLiteral("sbarPanel3"));
    sbar->addWidget(sbarDropped, 1);
    sbarDropped->hide();
    sbarStatus = new QLabel(sbar);
    sbarStatus->setObjectName(QStringLiteral("sbarStatus"));
    sbar->addWidget(sbarStatus, 1);
    sbarStatus->hide();
    FixStatusPanels();

    // M marks the point of a recording; the boxes that take text are disabled meanwhile,
    // and a text box with the focus keeps its letters.
    auto* mark = new QShortcut(QKeySequence(Qt::Key_M), this);
    connect(mark, &QShortcut::activated, this, [this] { control_->Mark(); });

    connect(cmdDo, &QPushButton::clicked, this, &Form1::cmdDo_Click);
    connect(cboDev, &QComboBox::activated, this, &Form1::cboDev_Click);
    connect(cboRecLine, &QComboBox::activated, this, &Form1::cboRecLine_Click);
    connect(sldVol, &QSlider::valueChanged, this, &Form1::sldVol_Change);
    connect(cboSamplerate, &QComboBox::activated, this, &Form1::cboSamplerate_Click);
    connect(chkStereo, &QCheckBox::clicked, this, &Form1::chkStereo_Click);
    connect(cmdSelFmt, &QPushButton::clicked, this, &Form1::cmdSelFmt_Click);
}

void Form1::Form_Load()
{
    cboSamplerate->setCurrentText(QStringLiteral("44100"));
    chkStereo->setChecked(true);
    blnLoaded_ = true;
    ShowOutputFormat();
    FillDeviceList();
    FollowDevices();
    engines_->effects().samplerate(cboSamplerate->currentText().toInt());
    engines_->effects().Channels(static_cast<std::int16_t>(chkStereo->isChecked() ? 2 : 1));

    // Centred on the screen the first time it is shown.
    if (const QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    show();

    txtFile->setText(control_->PrepareStartupFile());
    emit loaded();
}

void Form1::Form_Unload()
{
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    if (engines_->capture().IsRecording()) {
        cmdDo_Click();
    }
    waitingForStart_ = false;
    tmrStartAt_->stop();
    tmrStopAt_->stop();
    tmrVis->stop();
    blnLoaded_ = false;
    // Controls still emit while the window goes away (the rate box reports its text as
    // chosen when it loses the focus); nothing may reach the engines once they are released.
    for (QWidget* control : findChildren<QWidget*>()) {
        control->blockSignals(true);
    }
    emit unloading();
    engines_->Release();
    released_ = true;
    CloseOtherWindows();
    emit unloaded();
}

void Form1::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}

void Form1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    SetInSight(true);
}

void Form1::hideEvent(QHideEvent* event)
{
    // Also when the window is minimised (a spontaneous hide): nobody sees the display then either.
    QWidget::hideEvent(event);
    SetInSight(false);
}

void Form1::SetInSight(bool inSight)
{
    inSight_ = inSight;
    WakeDisplay();
}

void Form1::WakeDisplay()
{
    if (unloaded_) {
        return;
    }
    // Out of sight nothing is drawn, but what the capture hands over must not wait for long.
    std::chrono::milliseconds interval{0};
    if (inSight_) {
        // Waiting for a start time, only the countdown moves.
        interval = waitingForStart_ && !engines_->capture().IsRecording() ? kWaitingTick : kTick;
    } else if (engines_->capture().IsRecording()) {
        interval = DeliveryPacing::kUnseenTick;
    }
    if (interval == std::chrono::milliseconds{0}) {
        tmrVis->stop();
    } else if (!tmrVis->isActive() || tmrVis->intervalAsDuration() != interval) {
        tmrVis->start(interval);
    }
}

void Form1::DisplayTimer()
{
    if (inSight_) {
        tmrVis_Timer();
    } else if (!unloaded_) {
        DeliveryPacing::HandOverAll(engines_->capture());
    }
    if (!unloaded_) {
        noticeArmedChange();
    }
    // Idle, the next tick would show the same until the state changes and wakes the display.
    if (unloaded_ || (!engines_->capture().IsRecording() && !waitingForStart_)) {
        tmrVis->stop();
    }
}

RecordInputs Form1::inputs() const
{
    RecordInputs in;
    in.file = txtFile->text();
    in.rateText = cboSamplerate->currentText();
    in.stereo = chkStereo->isChecked();
    in.deviceSelected = cboDev->currentIndex() >= 0;
    return in;
}

void Form1::cmdDo_Click()
{
    if (released_ || (unloaded_ && !engines_->capture().IsRecording())) {
        return;
    }
    const RecordInputs in = inputs();
    if (handsFreeClick(in)) {
        return;
    }
    if (engines_->capture().IsRecording()) {
        // Buffers waiting for the next tick are part of the recording.
        DeliveryPacing::HandOverAll(engines_->capture());
        if (!engines_->capture().IsRecording()) {
            return;  // one of them ended it (a write error)
        }
    } else {
        pacing_.Prepare(engines_->capture(), BytesPerSecond(in));
    }
    control_->cmdDo_Click(in);
}

void Form1::RecordingStarted()
{
    tick_ = TickState{};  // a new recording's figures are shown afresh
    cmdDo->setText(stopText());
    handsFreeStarted();
    // Another recorder may have taken the number shown; the box names the file really written.
    if (const QString file = control_->RecordingFile(); !file.isEmpty() && file != txtFile->text()) {
        txtFile->setText(file);
    }
    SetFramesEnabled(false);
    emit recordingChanged();
    WakeDisplay();
}

void Form1::RecordingStopped(const QString& nextFile)
{
    cmdDo->setText(startText());
    handsFreeStopped();
    txtFile->setText(nextFile);
    SetFramesEnabled(true);
    WakeDisplay();
    if (devicesChangedWhileRecording_) {
        devicesChangedWhileRecording_ = false;
        DevicesChanged();
    }
    emit recordingChanged();
}

void Form1::RecordingContinued(const QString& file)
{
    // The size panel follows the file now being written.
    txtFile->setText(file);
    lastFileSize_ = 0;
}

void Form1::SetFramesEnabled(bool enabled)
{
    frmOut->setEnabled(enabled);
    frmInp->setEnabled(enabled);
}

void Form1::FillDeviceList()
{
    cboDev->clear();
    CapturePort& capture = engines_->capture();
    for (std::int32_t i = 0; i < capture.DeviceCount(); ++i) {
        cboDev->addItem(QString::fromStdString(capture.DeviceName(i)));
    }
    cboDev->setCurrentIndex(-1);
}

void Form1::FollowDevices()
{
    CapturePort& capture = engines_->capture();
    capture.OnDevicesChanged([this] { DevicesChanged(); });
    if (const std::string problem = capture.ServerProblem(); !problem.empty()) {
        appNotice(("声音服务器无法连接: " + problem).c_str());
    }
    // A server that is not there sends no events: ask again now and then until one answers.
    auto* retry = new QTimer(this);
    retry->setInterval(2000);
    connect(retry, &QTimer::timeout, this, [this] {
        if (cboDev->count() == 0) {
            DevicesChanged();
        }
    });
    retry->start();
}

void Form1::DevicesChanged()
{
    CapturePort& capture = engines_->capture();
    if (capture.IsRecording()) {
        // Other devices coming and going leave a recording alone; its own source
        // going away stops it as a lost device.
        devicesChangedWhileRecording_ = true;
        return;
    }
    const std::string chosen = cboDev->currentIndex() >= 0 ? capture.SelectedDeviceId() : std::string();
    std::vector<std::string> ids;
    QStringList names;
    const std::int32_t count = capture.DeviceCount();
    for (std::int32_t i = 0; i < count; ++i) {
        ids.push_back(capture.DeviceId(i));
        names.push_back(QString::fromStdString(capture.DeviceName(i)));
    }
    QStringList shown;
    for (int i = 0; i < cboDev->count(); ++i) {
        shown.push_back(cboDev->itemText(i));
    }
    if (ids != shownIds_ || names != shown) {
        shownIds_ = ids;
        const QSignalBlocker quiet(cboDev);
        cboDev->clear();
        cboDev->addItems(names);
        const auto at = std::find(ids.begin(), ids.end(), chosen);
        if (chosen.empty() || at == ids.end()) {
            cboDev->setCurrentIndex(-1);
            cboRecLine->clear();
            return;
        }
        cboDev->setCurrentIndex(static_cast<int>(at - ids.begin()));
        if (!capture.SelectDevice(cboDev->currentIndex())) {
            cboRecLine->clear();
            return;
        }
    } else if (chosen.empty()) {
        return;
    }
    // The chosen device's ports may have changed; otherwise only its volume may have.
    QStringList lines;
    for (std::int32_t i = 0; i < capture.MixerLineCount(); ++i) {
        lines.push_back(QString::fromStdString(capture.MixerLineName(i)));
    }
    QStringList listed;
    for (int i = 0; i < cboRecLine->count(); ++i) {
        listed.push_back(cboRecLine->itemText(i));
    }
    if (lines != listed) {
        FillLineList();
    } else {
        const QSignalBlocker quiet(sldVol);
        sldVol->setValue(capture.MixerLineVolume());
    }
}

void Form1::FillLineList()
{
    cboRecLine->clear();
    CapturePort& capture = engines_->capture();
    for (std::int32_t i = 0; i < capture.MixerLineCount(); ++i) {
        cboRecLine->addItem(QString::fromStdString(capture.MixerLineName(i)));
    }
    // Choosing an entry runs the line handler; a source without lines (a sound
    // server's monitor) has none to choose, so nothing changes and nothing is said.
    const std::int32_t line = capture.SelectedMixerLine();
    if (line >= 0 && line < cboRecLine->count()) {
        cboRecLine->setCurrentIndex(line);
        cboRecLine_Click();
    }
}

void Form1::cboDev_Click()
{
    cboRecLine->clear();
    if (!engines_->capture().SelectDevice(cboDev->currentIndex())) {
        appNotice(QT_TRANSLATE_NOOP("Quillon", "没有找到设备！"));
        return;
    }
    FillLineList();
}

void Form1::cboRecLine_Click()
{
    CapturePort& capture = engines_->capture();
    if (!capture.SelectMixerLine(cboRecLine->currentIndex())) {
        appNotice("Couldn't select mixer line!");
    } else if (capture.MixerLineUnplugged(cboRecLine->currentIndex())) {
        // The server records it all the same, but only silence will come.
        appNotice(QT_TRANSLATE_NOOP("Quillon", "所选录音线路没有接入设备!"));
    }
    {
        const QSignalBlocker quiet(sldVol);
        sldVol->setValue(capture.MixerLineVolume());
    }
    sldVol_Change();
}

void Form1::sldVol_Change()
{
    const int value = sldVol->value();
    engines_->capture().MixerLineVolume(value);
    const auto percent = static_cast<qint64>(value) * 100 / sldVol->maximum();
    lblVolPer->setText(QString::number(percent) + QLatin1Char('%'));
}

void Form1::cboSamplerate_Click()
{
    if (!blnLoaded_) {
        return;
    }
    cmdSelFmt_Click();
    if (const auto rate = ParseSampleRate(cboSamplerate->currentText())) {
        engines_->effects().samplerate(*rate);
    }
}

void Form1::chkStereo_Click()
{
    if (!blnLoaded_) {
        return;
    }
    cmdSelFmt_Click();
    engines_->effects().Channels(static_cast<std::int16_t>(chkStereo->isChecked() ? 2 : 1));
}

void Form1::cmdSelFmt_Click()
{
    // Formats are listed for a rate; without a usable one the chooser has nothing to offer.
    const auto rate = ParseSampleRate(cboSamplerate->currentText());
    if (!rate) {
        appNotice(kInvalidRateText);
        return;
    }
    if (formatChooser_) {
        formatChooser_(*rate, static_cast<std::int16_t>(chkStereo->isChecked() ? 2 : 1), this);
    }
    ShowOutputFormat();
}

void Form1::ShowOutputFormat()
{
    EncoderPort& encoder = engines_->encoder();
    txtWAVFmt->setText(QString::fromStdString(encoder.FormatTag()) + QStringLiteral(" - ") +
                       QString::fromStdString(encoder.FormatID()));
    // The description is read from its start; the box is narrower than most.
    txtWAVFmt->setCursorPosition(0);
}

void Form1::chkFX_Click(int index)
{
    EffectsPort& effects = engines_->effects();
    const std::int32_t bit = 1 << index;
    if (chkFX[static_cast<std::size_t>(index)]->isChecked()) {
        effects.EffectsUsed(effects.EffectsUsed() | bit);
    } else {
        effects.EffectsUsed(effects.EffectsUsed() & ~bit);
    }
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == cboSamplerate || watched == cboSamplerate->lineEdit()) && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Only keys that type a character are filtered; arrows and Delete pass.
        const QString text = key->text();
        if (key->key() == Qt::Key_Backspace) {
            return false;
        }
        if (!text.isEmpty() && !RateKeyAccepted(text.at(0), static_cast<int>(cboSamplerate->currentText().size()))) {
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::FixStatusPanels()
{
    // A panel free to change size makes every new text lay the status bar out again,
    // 17 times a second while recording; sized once, a new text only repaints it.
    const std::array<QLabel*, 4> panels = {sbarPanels[0], sbarPanels[1], sbarDropped, sbarStatus};
    // Each at least as wide as its text: with four panels up an even share is too narrow.
    for (QLabel* panel : panels) {
        panel->setMinimumSize(0, 0);
        panel->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        if (!panel->isHidden()) {
            const QMargins m = panel->contentsMargins();
            panel->setMinimumWidth(panel->fontMetrics().horizontalAdvance(panel->text()) + m.left() + m.right() +
                                   2 * panel->margin() + 2);
        }
    }
    if (QLayout* layout = sbar->layout()) {
        layout->invalidate();
        layout->activate();
    }
    for (QLabel* panel : panels) {
        if (!panel->isHidden()) {
            panel->setFixedSize(panel->size());
        }
    }
}

QString Form1::StatusText(int panel) const
{
    if (panel == 4) {
        return sbarStatus->text();
    }
    return sbarPanels[static_cast<std::size_t>(panel == 2 ? 1 : 0)]->text();
}

void Form1::tmrVis_Timer()
{
    if (!unloaded_) {
        pacing_.Tick(engines_->capture(), control_->lngBytesPerSec(), std::chrono::steady_clock::now());
    }
    if (!unloaded_ && engines_->capture().IsRecording()) {
        display_->Draw(control_->intSamples(), control_->BlockSerial(), chkStereo->isChecked());
        // The file grows only when a buffer is written, which moves the recorded time on:
        // it is looked at again then, or when the recording went on in another file. It
        // may vanish or become unreadable while it is written; then the last size we saw
        // stays up.
        const std::int32_t elapsed = control_->lngElapsedMs();
        const QString file = txtFile->text();
        if (!tick_.recording || elapsed != tick_.checkedMs || file != tick_.checkedFile) {
            // The open file answers without a path lookup; by name only when it cannot.
            if (const qint64 open = control_->FileLength(); open >= 0) {
                lastFileSize_ = open;
            } else if (const QFileInfo info(file); info.exists()) {
                lastFileSize_ = info.size();
            }
            tick_.checkedMs = elapsed;
            tick_.checkedFile = file;
        }
        if (!tick_.recording || lastFileSize_ != tick_.shownSize) {
            sbarPanels[0]->setText(QCoreApplication::translate("Quillon", "文件大小: ") +
                                   FormatSize(static_cast<double>(lastFileSize_)));
            tick_.shownSize = lastFileSize_;
        }
        // The time moves on with every buffer, its text once a second.
        if (const QString waiting = handsFreeTimeText(); !waiting.isEmpty()) {
            sbarPanels[1]->setText(waiting);
            tick_.shownSeconds = -1;
        } else if (const std::int64_t seconds = ShownSeconds(elapsed);
                   !tick_.recording || seconds != tick_.shownSeconds) {
            sbarPanels[1]->setText(QCoreApplication::translate("Quillon", "时间: ") + FormatTime(elapsed));
            tick_.shownSeconds = seconds;
        }
        tick_.recording = true;
    } else {
        tick_.recording = false;
        lastFileSize_ = 0;
        sbarPanels[0]->setText(QCoreApplication::translate("Quillon", "文件大小: 0 Bytes"));
        const QString waiting = handsFreeTimeText();
        sbarPanels[1]->setText(waiting.isEmpty() ? QCoreApplication::translate("Quillon", "时间: 0:00") : waiting);
    }
    // The fourth panel speaks once a recording has something to say (dropouts, clipping,
    // a disk with less than an hour left) and then also carries the dropped time, so no more
    // than three panels share the bar. The last recording's figures stay up after its stop,
    // without the disk's time.
    const std::int32_t dropped = control_->DroppedMs();
    QStringList parts;
    if (tick_.recording || !sbarStatus->isHidden()) {
        if (control_->DropoutCount() > 0) {
            parts << QCoreApplication::translate("Quillon", "丢失 %1 次 (%2 ms)")
                         .arg(control_->DropoutCount())
                         .arg(dropped);
        }
        if (control_->ClipCount() > 0) {
            parts << QCoreApplication::translate("Quillon", "削波 %1 处").arg(control_->ClipCount());
        }
        if (const std::int64_t left = control_->DiskSecondsLeft(); left >= 0 && left < 3600) {
            parts << QCoreApplication::translate("Quillon", "磁盘剩余 %1")
                         .arg(FormatTime(static_cast<std::int32_t>(left * 1000)));
        }
    }
    const QString status = parts.join(QStringLiteral(", "));
    if (status != tick_.shownStatus) {
        sbarStatus->setText(status);
        sbarStatus->setToolTip(status);
        tick_.shownStatus = status;
    }
    bool relayout = false;
    if (sbarStatus->isHidden() == !status.isEmpty()) {
        sbarStatus->setVisible(!status.isEmpty());
        relayout = true;
    }
    const bool showDropped = dropped > 0 && status.isEmpty();
    if (showDropped) {
        sbarDropped->setText(QCoreApplication::translate("Quillon", "丢失: %1 ms").arg(dropped));
    }
    if (sbarDropped->isHidden() == showDropped) {
        sbarDropped->setVisible(showDropped);
        relayout = true;
    }
    if (relayout) {
        FixStatusPanels();
    }
    CmdST->setEnabled(cmdDo->text() != stopText());
}

}  // namespace quillon
