#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <fstream>

#include "recording/FileCounter.h"
#include "tests/support/FakePorts.h"
#include "tests/support/TestSupport.h"
#include "ui/Form1.h"
#include "ui/LiveDisplay.h"
#include "ui/PictureBox.h"

namespace quillon {
namespace {

// Counts the events of one type that reach the objects it watches.
class EventCounter final : public QObject {
public:
    EventCounter(QEvent::Type type, int& count) : type_(type), count_(count) {}
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        count_ += event->type() == type_ ? 1 : 0;
        return false;
    }

private:
    QEvent::Type type_;
    int& count_;
};

class Form1Test : public ::testing::Test {
protected:
    Form1Test()
    {
        auto owned = std::make_unique<test::FakePorts>();
        engines = owned.get();
        std::ofstream((folder + "/nu.ini").toStdString()) << "41\r\n";
        form = std::make_unique<Form1>(std::move(owned), folder);
    }

    template <typename W>
    W* child(const char* name)
    {
        auto* w = form->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    void chooseDevice(int index)
    {
        child<QComboBox>("cboDev")->setCurrentIndex(index);
        form->cboDev_Click();
    }

    test::TempDir dir;
    QString folder = QString::fromStdString(dir.path().string());
    test::RecordingMessageBoxes boxes;
    test::FakePorts* engines = nullptr;
    std::unique_ptr<Form1> form;
};

TEST_F(Form1Test, LayoutHasEveryControlWithItsCaption)
{
    EXPECT_EQ(form->windowTitle(), QStringLiteral("QuillonV3.91"));
    EXPECT_EQ(form->size(), QSize(359, 375));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(form->windowIcon().isNull());

    const std::pair<const char*, const char*> frames[] = {
        {"frmInp", "输入"}, {"frmOut", "输出"}, {"frmEffects", "特效/滤镜"}, {"Frame1", "操作"}, {"Frame2", "效果"}};
    for (const auto& [name, title] : frames) {
        EXPECT_EQ(child<QGroupBox>(name)->title(), QString::fromUtf8(title));
    }
    const std::pair<const char*, const char*> labels[] = {
        {"lblDev", "设备:"},       {"lblLine", "线路:"},       {"lblVol", "声音:"},     {"lblVolPer", "100%"},
        {"lblWAVFmt", "WAV格式:"}, {"lblSamplerate", "取样:"}, {"lblVUchL", "左声道:"}, {"lblVUchR", "右声道:"}};
    for (const auto& [name, text] : labels) {
        EXPECT_EQ(child<QLabel>(name)->text(), QString::fromUtf8(text));
    }
    const std::pair<const char*, const char*> buttons[] = {
        {"cmdBrowse", "..."}, {"cmdSelFmt", "..."},  {"Command3", "打开文件夹"}, {"cmdDo", "开始录音"},
        {"CmdST", "试听"},    {"cmdFXOpts", "设置"}, {"Command1", "关于"},       {"Command4", "最小化至系统托盘"}};
    for (const auto& [name, text] : buttons) {
        EXPECT_EQ(child<QPushButton>(name)->text(), QString::fromUtf8(text));
    }
    const char* fx[] = {"回声", "周相移动", "放大器", "均衡器"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(child<QCheckBox>(QStringLiteral("chkFX%1").arg(i).toLatin1().constData())->text(),
                  QString::fromUtf8(fx[i]));
    }
    EXPECT_EQ(child<QCheckBox>("chkStereo")->text(), QStringLiteral("立体声"));
    auto* rates = child<QComboBox>("cboSamplerate");
    ASSERT_EQ(rates->count(), 4);
    EXPECT_EQ(rates->itemText(3), QStringLiteral("8000"));
    auto* slider = child<QSlider>("sldVol");
    EXPECT_EQ(slider->maximum(), 65535);
    EXPECT_EQ(form->StatusText(1), QStringLiteral("文件大小: 0 字节"));
    EXPECT_EQ(form->StatusText(2), QStringLiteral("长度: 0:00"));
    for (const char* name : {"picAmpl", "picFreq", "picVUL", "picVUR"}) {
        EXPECT_NE(form->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    }
    // Every control lies inside the window, nothing clipped at the edges.
    for (const QWidget* w : form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        EXPECT_TRUE(form->rect().contains(w->geometry())) << w->objectName().toStdString();
    }
}

TEST_F(Form1Test, LoadSetsDefaultsListsDevicesAndPreparesTheNumberedFile)
{
    form->Form_Load();
    EXPECT_TRUE(form->blnLoaded());
    EXPECT_EQ(child<QComboBox>("cboSamplerate")->currentText(), QStringLiteral("44100"));
    EXPECT_TRUE(child<QCheckBox>("chkStereo")->isChecked());
    auto* devices = child<QComboBox>("cboDev");
    EXPECT_EQ(devices->count(), 2);
    EXPECT_EQ(devices->currentIndex(), -1);
    EXPECT_EQ(child<QLineEdit>("txtWAVFmt")->text(), QStringLiteral("PCM - 44.1 kHz 16 Bit Stereo"));
    EXPECT_TRUE(engines->log.has("samplerate 44100"));
    EXPECT_TRUE(engines->log.has("Channels 2"));
    EXPECT_EQ(child<QLineEdit>("txtFile")->text(), AutoFileName(folder, 41));
    EXPECT_TRUE(QFileInfo::exists(AutoFileName(folder, 41)));
    EXPECT_TRUE(form->isVisible());
}

TEST_F(Form1Test, DeviceChoiceListsLinesAndShowsTheVolume)
{
    form->Form_Load();
    chooseDevice(0);
    auto* lines = child<QComboBox>("cboRecLine");
    ASSERT_EQ(lines->count(), 2);
    EXPECT_EQ(lines->currentIndex(), 1);  // the engine's selected line
    EXPECT_EQ(child<QSlider>("sldVol")->value(), 32768);
    EXPECT_EQ(child<QLabel>("lblVolPer")->text(), QStringLiteral("50%"));
    EXPECT_TRUE(engines->log.has("MixerLineVolume 32768"));  // written back
    EXPECT_TRUE(boxes.messages.empty());

    child<QSlider>("sldVol")->setValue(65535);
    EXPECT_EQ(child<QLabel>("lblVolPer")->text(), QStringLiteral("100%"));
    EXPECT_EQ(engines->captureFake.volume, 65535);
}

TEST_F(Form1Test, DeviceAndLineFailuresShowTheirMessages)
{
    form->Form_Load();
    engines->captureFake.deviceWithoutMixer = 1;
    chooseDevice(1);
    ASSERT_EQ(boxes.messages.size(), 1U);
    EXPECT_EQ(boxes.messages[0].title, "Quillon");
    EXPECT_EQ(boxes.messages[0].text, "没有找到设备！");
    EXPECT_EQ(child<QComboBox>("cboRecLine")->count(), 0);

    boxes.messages.clear();
    engines->captureFake.lineSelectable = false;
    chooseDevice(0);
    ASSERT_EQ(boxes.messages.size(), 1U);
    EXPECT_EQ(boxes.messages[0].text, "Couldn't select mixer line!");
    EXPECT_EQ(child<QLabel>("lblVolPer")->text(), QStringLiteral("50%"));  // still shown
}

TEST_F(Form1Test, ASourceWithoutLinesSelectsQuietly)
{
    form->Form_Load();
    engines->captureFake.lines.clear();
    engines->captureFake.line = -1;
    chooseDevice(0);
    EXPECT_TRUE(boxes.messages.empty());
    EXPECT_EQ(child<QComboBox>("cboRecLine")->count(), 0);
    EXPECT_FALSE(engines->log.has("SelectMixerLine -1"));
}

TEST_F(Form1Test, RateBoxTakesAtMostFiveDigitsAndBackspace)
{
    EXPECT_TRUE(RateKeyAccepted(QLatin1Char('7'), 4));
    EXPECT_FALSE(RateKeyAccepted(QLatin1Char('7'), 5));
    EXPECT_TRUE(RateKeyAccepted(QLatin1Char('7'), 6));  // only exactly five is refused
    EXPECT_TRUE(RateKeyAccepted(QChar(8), 5));
    EXPECT_FALSE(RateKeyAccepted(QLatin1Char('a'), 0));
    EXPECT_FALSE(RateKeyAccepted(QChar(0x16), 0));  // Ctrl+V

    form->Form_Load();
    auto* box = child<QComboBox>("cboSamplerate");
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    box->setFocus();
    // Keys go where the keyboard's go: to the widget with the focus, not to the inner line edit.
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    const struct {
        const char* text;  // before typing; all of it selected when `selected`
        bool selected;
        const char* keys;  // '\b' is Backspace, '\x16' is Ctrl+V
        const char* expected;
    } rows[] = {
        {"", false, "4a8", "48"},
        {"", false, "48000", "48000"},  // the list's 44100 must not complete the first digit
        {"", false, "8k00009", "80000"},
        {"44100", false, "\b\b", "441"},
        {"44100", true, "8", "44100"},  // the whole text counts, also when it is selected
        {"4410", true, "8", "8"},
        {"", false, "\x16", ""},
    };
    QApplication::clipboard()->setText(QStringLiteral("12345"));
    for (const auto& row : rows) {
        box->setEditText(QString::fromUtf8(row.text));
        if (row.selected) {
            box->lineEdit()->selectAll();
        } else {
            box->lineEdit()->end(false);
        }
        for (const char* key = row.keys; *key != '\0'; ++key) {
            if (*key == '\b') {
                QTest::keyClick(focus, Qt::Key_Backspace);
            } else if (*key == '\x16') {
                QTest::keyClick(focus, Qt::Key_V, Qt::ControlModifier);
            } else {
                QTest::keyClick(focus, *key);
            }
        }
        EXPECT_EQ(box->currentText(), QString::fromUtf8(row.expected)) << row.text << " + " << row.keys;
    }
}

TEST_F(Form1Test, EffectBoxesSetAndClearTheirBits)
{
    form->Form_Load();
    engines->effectsFake.bits = 16;  // a bit no box owns stays
    child<QCheckBox>("chkFX3")->click();
    child<QCheckBox>("chkFX0")->click();
    EXPECT_EQ(engines->effectsFake.bits, 16 | 9);
    child<QCheckBox>("chkFX0")->click();
    EXPECT_EQ(engines->effectsFake.bits, 16 | 8);
}

TEST_F(Form1Test, RateAndStereoClicksOfferTheFormatChooserOnlyAfterLoad)
{
    int offered = 0;
    form->SelectFormatWith([&](std::int32_t rate, std::int16_t channels, QWidget* owner) {
        ++offered;
        EXPECT_EQ(rate, 22050);
        EXPECT_EQ(channels, 1);
        EXPECT_EQ(owner, form.get());
    });
    form->cboSamplerate_Click();
    EXPECT_EQ(offered, 0);
    form->Form_Load();
    EXPECT_EQ(offered, 0);
    child<QComboBox>("cboSamplerate")->setCurrentIndex(1);
    child<QCheckBox>("chkStereo")->setChecked(false);
    form->cboSamplerate_Click();
    form->chkStereo_Click();
    EXPECT_EQ(offered, 2);
    EXPECT_TRUE(engines->log.has("samplerate 22050"));
    EXPECT_TRUE(engines->log.has("Channels 1"));

    // A rate the chain refuses gets the rate message instead of the chooser.
    for (const char* rate : {"", "0", "12a", "96001"}) {
        for (const char* control : {"cmdSelFmt", "chkStereo"}) {
            child<QComboBox>("cboSamplerate")->setEditText(QString::fromUtf8(rate));
            boxes.messages.clear();
            engines->log.calls.clear();
            form->findChild<QAbstractButton*>(QString::fromLatin1(control))->click();
            ASSERT_EQ(boxes.messages.size(), 1U) << rate << " " << control;
            EXPECT_EQ(boxes.messages[0].title, "Quillon");
            EXPECT_EQ(boxes.messages[0].text, kInvalidRateText);
            EXPECT_FALSE(engines->log.has("samplerate " + std::string(rate))) << rate;
        }
    }
    EXPECT_EQ(offered, 2);
}

TEST_F(Form1Test, TickShowsIdleTextsAndRecordingFigures)
{
    form->Form_Load();
    form->tmrVis_Timer();
    EXPECT_EQ(form->StatusText(1), QStringLiteral("文件大小: 0 Bytes"));
    EXPECT_EQ(form->StatusText(2), QStringLiteral("时间: 0:00"));
    EXPECT_TRUE(child<QPushButton>("CmdST")->isEnabled());

    chooseDevice(0);
    form->cmdDo_Click();
    ASSERT_TRUE(engines->captureFake.recording);
    EXPECT_EQ(child<QPushButton>("cmdDo")->text(), QStringLiteral("停止录音"));
    EXPECT_FALSE(child<QGroupBox>("frmInp")->isEnabled());
    EXPECT_FALSE(child<QGroupBox>("frmOut")->isEnabled());
    EXPECT_TRUE(child<QGroupBox>("frmEffects")->isEnabled());
    // The fake encoder writes nothing to disk: give the file a size of its own.
    std::ofstream(AutoFileName(folder, 41).toStdString()) << std::string(2048, 'x');
    std::vector<std::int16_t> slot(5120, 100);
    for (int i = 0; i < 18; ++i) {
        engines->captureFake.gotData(slot, 10240);  // 18 x 58 ms
    }
    form->tmrVis_Timer();
    EXPECT_EQ(form->StatusText(1), QStringLiteral("文件大小: 2 KB"));
    EXPECT_EQ(form->StatusText(2), QStringLiteral("时间: 0:01"));
    EXPECT_FALSE(child<QPushButton>("CmdST")->isEnabled());

    // A file that disappears keeps the last size up and the tick goes on.
    QFile::remove(AutoFileName(folder, 41));
    form->tmrVis_Timer();
    EXPECT_EQ(form->StatusText(1), QStringLiteral("文件大小: 2 KB"));

    form->cmdDo_Click();
    EXPECT_FALSE(child<QPushButton>("CmdST")->isEnabled());  // until the next tick
    form->tmrVis_Timer();
    EXPECT_TRUE(child<QPushButton>("CmdST")->isEnabled());
    EXPECT_EQ(form->StatusText(1), QStringLiteral("文件大小: 0 Bytes"));
    EXPECT_EQ(child<QLineEdit>("txtFile")->text(), AutoFileName(folder, 42));
    EXPECT_TRUE(child<QGroupBox>("frmInp")->isEnabled());
}

TEST_F(Form1Test, DisplayTicksWhileRecordingInSight_onceAfterEachChange_andOutOfSightOnlyHandsOver)
{
    auto* timer = child<QTimer>("tmrVis");
    form->Form_Load();
    // The first tick replaces the initial texts; idle, the next would show the same.
    QTRY_COMPARE(form->StatusText(1), QStringLiteral("文件大小: 0 Bytes"));
    QTRY_VERIFY(!timer->isActive());

    chooseDevice(0);
    form->cmdDo_Click();
    ASSERT_TRUE(engines->captureFake.recording);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 25);
    std::vector<std::int16_t> slot(5120, 100);
    for (int i = 0; i < 18; ++i) {
        engines->captureFake.gotData(slot, 10240);
    }
    QTRY_COMPARE(form->StatusText(2), QStringLiteral("时间: 0:01"));
    EXPECT_FALSE(child<QPushButton>("CmdST")->isEnabled());

    // Out of sight nothing is drawn or written; the timer only hands buffers over.
    form->hide();
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 90);
    for (int i = 0; i < 18; ++i) {
        engines->captureFake.gotData(slot, 10240);
    }
    QTest::qWait(200);
    EXPECT_EQ(form->StatusText(2), QStringLiteral("时间: 0:01"));
    form->show();
    EXPECT_EQ(timer->interval(), 25);
    QTRY_COMPARE(form->StatusText(2), QStringLiteral("时间: 0:02"));

    // Stopped: one more tick enables the listen button and shows the idle texts, then rest.
    form->cmdDo_Click();
    EXPECT_TRUE(timer->isActive());
    QTRY_VERIFY(!timer->isActive());
    EXPECT_TRUE(child<QPushButton>("CmdST")->isEnabled());
    EXPECT_EQ(form->StatusText(2), QStringLiteral("时间: 0:00"));
    form->hide();
    EXPECT_FALSE(timer->isActive());
}

TEST_F(Form1Test, MetersFollowTheChannelsAndReachFullScaleAtMinus32768)
{
    form->Form_Load();
    chooseDevice(0);
    auto* vuL = child<PictureBox>("picVUL");
    auto* vuR = child<PictureBox>("picVUR");
    const int right = vuL->surface().OuterWidth() - 1;

    // Stereo: the left meter reads the even samples, the right one the odd.
    form->cmdDo_Click();
    std::vector<std::int16_t> slot(5120, 0);
    for (std::size_t i = 0; i < slot.size(); i += 2) {
        slot[i] = -32768;  // the effects fake halves it: -16384
    }
    engines->captureFake.gotData(slot, 10240);
    form->tmrVis_Timer();
    EXPECT_EQ(form->display().LeftPeak(), 16384);
    EXPECT_EQ(form->display().RightPeak(), 1);                          // silence counts as 1
    EXPECT_EQ(vuR->surface().Point(1, 1), vuR->surface().BackColor());  // zero-width bar
    form->cmdDo_Click();

    // Mono: both meters show the same level; a full-scale sample fills them in red.
    child<QCheckBox>("chkStereo")->setChecked(false);
    engines->effectsFake.halve = false;
    form->cmdDo_Click();
    std::vector<std::int16_t> loud(5120, 0);
    loud[3] = -32768;
    for (int i = 0; i < 3; ++i) {  // fill the three-tick smoothing ring
        engines->captureFake.gotData(loud, 10240);
        form->tmrVis_Timer();
    }
    EXPECT_EQ(form->display().LeftPeak(), 32768);
    EXPECT_EQ(form->display().RightPeak(), 32768);
    EXPECT_EQ(vuL->surface().Point(right, 1), Rgb(255, 0, 0));
    EXPECT_EQ(vuR->surface().Point(right, 1), Rgb(255, 0, 0));
    // The oscilloscope and the spectrum were drawn as well.
    auto* ampl = child<PictureBox>("picAmpl");
    EXPECT_EQ(ampl->surface().Point(0, 0), Rgb(0, 0, 0));
    bool traced = false;
    for (int x = 0; x < ampl->surface().ScaleWidth(); ++x) {
        traced = traced || ampl->surface().Point(x, ampl->surface().ScaleHeight() / 2) == Rgb(255, 255, 255);
    }
    EXPECT_TRUE(traced);
}

TEST_F(Form1Test, DroppedAudioShowsInAThirdPanelOnlyWhenThereIsSome)
{
    form->Form_Load();
    chooseDevice(0);
    form->cmdDo_Click();
    ASSERT_TRUE(engines->captureFake.recording);
    auto* panel = child<QLabel>("sbarPanel3");
    std::vector<std::int16_t> slot(5120, 100);
    engines->captureFake.gotData(slot, 10240);
    form->tmrVis_Timer();
    EXPECT_TRUE(panel->isHidden());

    engines->captureFake.dropped = 21168;  // 120 ms at 44100 Hz stereo
    engines->captureFake.gotData(slot, 10240);
    form->tmrVis_Timer();
    EXPECT_FALSE(panel->isHidden());
    EXPECT_EQ(panel->text(), QStringLiteral("丢失: 120 ms"));

    // The three panels share the bar side by side, each wide enough for its text.
    auto* first = child<QLabel>("sbarPanel1");
    auto* second = child<QLabel>("sbarPanel2");
    EXPECT_LT(first->geometry().right(), second->geometry().left());
    EXPECT_LT(second->geometry().right(), panel->geometry().left());
    EXPECT_LE(panel->geometry().right(), child<QStatusBar>("sbar")->width());
    for (const QLabel* label : {first, second, panel}) {
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()))
            << label->objectName().toStdString();
    }
    form->cmdDo_Click();
}

TEST_F(Form1Test, MKeyMarks_andTheFourthPanelCountsDropoutsAndClipping)
{
    form->Form_Load();
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    auto* panel = child<QLabel>("sbarStatus");
    chooseDevice(0);
    form->cmdDo_Click();
    ASSERT_TRUE(engines->captureFake.recording);
    engines->effectsFake.halve = false;
    std::vector<std::int16_t> slot(5120, 100);
    engines->captureFake.gotData(slot, 10240);
    form->tmrVis_Timer();
    EXPECT_TRUE(panel->isHidden()) << "nothing to say yet";
    slot[7] = 32767;
    engines->captureFake.gotData(slot, 10240);
    slot[7] = 100;
    QTest::keyClick(form.get(), Qt::Key_M);
    // Half a second without clipping closes the run.
    for (int i = 0; i < 9; ++i) {
        engines->captureFake.gotData(slot, 10240);
    }
    engines->captureFake.dropped = 21168;  // 120 ms at 44100 Hz stereo
    form->recording().Dropout(21168);
    form->tmrVis_Timer();
    EXPECT_FALSE(panel->isHidden());
    EXPECT_EQ(form->StatusText(4), QStringLiteral("丢失 1 次 (120 ms), 削波 1 处"));
    const std::vector<std::pair<std::int64_t, std::string>> markers = {
        {5120, "标记"}, {2563, "削波 1 个采样"}, {28160, "丢失 120 ms"}};
    EXPECT_EQ(engines->encoderFake.markers, markers);
    // It carries the dropped time then: three panels side by side, each wide enough for its text.
    EXPECT_TRUE(child<QLabel>("sbarPanel3")->isHidden());
    const QLabel* previous = nullptr;
    for (const char* name : {"sbarPanel1", "sbarPanel2", "sbarStatus"}) {
        const auto* label = child<QLabel>(name);
        ASSERT_FALSE(label->isHidden()) << name;
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text())) << name;
        if (previous != nullptr) {
            EXPECT_LT(previous->geometry().right(), label->geometry().left()) << name;
        }
        previous = label;
    }
    EXPECT_LE(panel->geometry().right(), child<QStatusBar>("sbar")->width());
    form->cmdDo_Click();
    form->tmrVis_Timer();
    EXPECT_EQ(form->StatusText(4), QStringLiteral("丢失 1 次 (120 ms), 削波 1 处")) << "the last recording's stay";
}

TEST_F(Form1Test, NewStatusTextsRepaintThePanelsWithoutLayingOutTheBarAgain)
{
    form->show();
    form->Form_Load();
    chooseDevice(0);
    form->cmdDo_Click();
    ASSERT_TRUE(engines->captureFake.recording);
    std::vector<std::int16_t> slot(5120, 100);
    engines->captureFake.gotData(slot, 10240);
    form->tmrVis_Timer();
    QCoreApplication::sendPostedEvents();
    auto* bar = child<QStatusBar>("sbar");
    int layouts = 0;
    EventCounter counter(QEvent::LayoutRequest, layouts);
    bar->installEventFilter(&counter);
    std::ofstream(AutoFileName(folder, 41).toStdString()) << std::string(2048, 'x');
    const QString before = form->StatusText(1);
    for (int i = 0; i < 40; ++i) {
        if (i == 20) {
            std::ofstream(AutoFileName(folder, 41).toStdString()) << std::string(200000, 'x');
        }
        engines->captureFake.gotData(slot, 10240);
        form->tmrVis_Timer();
        QCoreApplication::sendPostedEvents();
    }
    EXPECT_NE(form->StatusText(1), before);
    EXPECT_EQ(form->StatusText(2), QStringLiteral("时间: 0:02"));
    EXPECT_LE(layouts, 1);  // not one per new text
    bar->removeEventFilter(&counter);
    form->cmdDo_Click();
}

TEST_F(Form1Test, ClosingWhileRecordingStopsThroughTheRecordButton)
{
    form->Form_Load();
    chooseDevice(0);
    form->cmdDo_Click();
    ASSERT_TRUE(engines->captureFake.recording);
    form->close();
    EXPECT_FALSE(engines->captureFake.recording);
    const auto& calls = engines->log.calls;
    ASSERT_GE(calls.size(), 3U);
    EXPECT_EQ(calls[calls.size() - 3], "StopRecord");
    EXPECT_EQ(calls[calls.size() - 2], "EncoderClose");
    EXPECT_EQ(calls.back(), "Release");
    EXPECT_EQ(intFileCounter(), 42);
    EXPECT_TRUE(QFileInfo::exists(AutoFileName(folder, 42)));
}

TEST_F(Form1Test, ANumberTakenMeanwhileIsSkippedAndTheFileBoxNamesTheFileWritten)
{
    form->Form_Load();
    // Another recorder wrote into the file this window prepared.
    std::ofstream(AutoFileName(folder, 41).toStdString()) << "RIFF";
    chooseDevice(0);
    form->cmdDo_Click();
    ASSERT_TRUE(engines->captureFake.recording);
    EXPECT_EQ(child<QLineEdit>("txtFile")->text(), AutoFileName(folder, 42));
    form->cmdDo_Click();
}

}  // namespace
}  // namespace quillon
