// The main window's buttons that open the other windows, with fake engines and a real chain.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMediaPlayer>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "effects/clsDSP.h"
#include "recording/FileCounter.h"
#include "tests/support/FakePorts.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/RecordingOpener.h"
#include "ui/About.h"
#include "ui/Form1.h"
#include "ui/FormatChooserDialog.h"
#include "ui/FrmST.h"
#include "ui/ModFolderSetFileFocus.h"
#include "ui/OutputFileDialog.h"
#include "ui/PictureBox.h"
#include "ui/TrayIcon.h"
#include "ui/frmFXOpts.h"

namespace quillon {
namespace {

using test::RecordingOpener;

struct Form1Windows : ::testing::Test {
    Form1Windows()
    {
        std::filesystem::create_directory(dir / "file");
        std::ofstream(dir / "nu.ini") << "5\r\n";
        auto owned = std::make_unique<test::FakePorts>();
        engines = owned.get();
        form = std::make_unique<Form1>(std::move(owned), folder);
        form->Form_Load();
    }
    template <typename W>
    W* child(const char* name)
    {
        return form->findChild<W*>(QString::fromLatin1(name));
    }

    test::TempDir dir;
    QString folder = QString::fromStdString(dir.path().string());
    test::RecordingMessageBoxes boxes;
    test::FakePorts* engines = nullptr;
    std::unique_ptr<Form1> form;
};

TEST_F(Form1Windows, settingsButtonOpensTheModalWindowOnTheChain_andItsValuesStay)
{
    engines->effectsFake.chain.EchoLength(321);
    int seen = 0;
    QTimer::singleShot(0, [&seen] {
        auto* window = dynamic_cast<frmFXOpts*>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr);
        seen = window->sldReverbLen()->value();
        window->sldAmplDB()->setValue(-5);
        window->close();
    });
    child<QPushButton>("cmdFXOpts")->click();
    EXPECT_EQ(seen, 321);
    EXPECT_EQ(engines->effectsFake.chain.AmplifyDB(), -5);
}

TEST_F(Form1Windows, listenButtonPlaysTheLastRecording_andSwitchesOnTheNextClick)
{
    std::ofstream(dir / "a.wav").put('x');
    std::ofstream(dir / "b.wav").put('x');
    varLastFile(QString::fromStdString((dir / "a.wav").string()));
    child<QPushButton>("CmdST")->click();
    FrmST* st = form->ListenBackWindow();
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(st->Player()->source(), QUrl::fromLocalFile(varLastFile()));

    varLastFile(QString::fromStdString((dir / "b.wav").string()));
    child<QPushButton>("CmdST")->click();
    EXPECT_EQ(form->ListenBackWindow(), st);
    EXPECT_EQ(st->Player()->source(), QUrl::fromLocalFile(varLastFile()));
    st->close();
    varLastFile(QString());
}

TEST_F(Form1Windows, openFolderButtonShowsTheFileOfTheFileBox)
{
    RecordingOpener opener;
    child<QPushButton>("Command3")->click();
    ASSERT_EQ(opener.shown.size(), 1U);
    EXPECT_EQ(opener.shown[0].toLocalFile(), child<QLineEdit>("txtFile")->text());
}

TEST_F(Form1Windows, aboutButtonOpensOneAboutWindowOnTheProgramFolder)
{
    child<QPushButton>("Command1")->click();
    About* about = form->AboutWindow();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    child<QPushButton>("Command1")->click();
    EXPECT_EQ(form->AboutWindow(), about);
    EXPECT_EQ(About::HelpUrl(folder, QString()).toLocalFile(), folder + QStringLiteral("/bangzhu.htm"));
}

TEST_F(Form1Windows, browseButtonPutsTheChosenNameWithWavIntoTheFileBox)
{
    const QString chosen = folder + QStringLiteral("/take.mp3");
    QTimer::singleShot(0, [&chosen] {
        auto* dialog = dynamic_cast<OutputFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("Wave ACM Encoder (*.wav)")});
        dialog->selectFile(chosen);
        dialog->accept();
    });
    child<QPushButton>("cmdBrowse")->click();
    EXPECT_EQ(child<QLineEdit>("txtFile")->text(), chosen + QStringLiteral(".wav"));

    const QString before = child<QLineEdit>("txtFile")->text();
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    child<QPushButton>("cmdBrowse")->click();
    EXPECT_EQ(child<QLineEdit>("txtFile")->text(), before);
}

TEST_F(Form1Windows, trayIconExistsFromLoadToUnload_andExitUnloads)
{
    TrayIcon* tray = form->Tray();
    ASSERT_NE(tray, nullptr);
    EXPECT_EQ(tray->Icon()->toolTip(), QStringLiteral("Quillon"));
    tray->ExitAction()->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->Tray() == nullptr; }, 5000));
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed());
}

// The program ends with its main window: the other windows close with it (they are not its
// children, so nothing destroys them under the user's hands before), and the unload says so once.
TEST(Form1Closing, closingTheMainWindowClosesTheOthersAndEndsTheProgram_whateverIsOpen)
{
    const struct {
        bool about;
        bool listenBack;
        bool fromTray;  // 退出 with the main window put away
    } rows[] = {
        {true, false, true}, {false, true, false}, {true, true, false}, {true, true, true}, {false, false, true},
    };
    for (const auto& row : rows) {
        test::TempDir dir;
        std::filesystem::create_directory(dir / "file");
        const QString folder = QString::fromStdString(dir.path().string());
        test::RecordingMessageBoxes boxes;
        auto form = std::make_unique<Form1>(std::make_unique<test::FakePorts>(), folder);
        form->Form_Load();
        QSignalSpy unloaded(form.get(), &Form1::unloaded);
        if (row.about) {
            form->Command1_Click();
            EXPECT_EQ(form->AboutWindow()->parentWidget(), nullptr);
        }
        if (row.listenBack) {
            form->CmdST_Click();
            EXPECT_EQ(form->ListenBackWindow()->parentWidget(), nullptr);
        }
        const QPointer<QWidget> about = form->AboutWindow();
        const QPointer<QWidget> listenBack = form->ListenBackWindow();
        if (row.fromTray) {
            form->hide();
            form->Tray()->ExitAction()->trigger();
            ASSERT_TRUE(QTest::qWaitFor([&unloaded] { return unloaded.count() > 0; }, 5000));
        } else {
            form->close();
        }
        EXPECT_EQ(unloaded.count(), 1);
        EXPECT_EQ(form->Tray(), nullptr);
        EXPECT_TRUE(about.isNull() || !about->isVisible());
        EXPECT_TRUE(listenBack.isNull() || !listenBack->isVisible());
        form.reset();
        EXPECT_TRUE(about.isNull());
        EXPECT_TRUE(listenBack.isNull());
    }
}

// What a screen reader announces as the name of `w`: the text of the label it is labelled by
// (combo boxes on Linux carry their value as name and their label as a relation), else its name.
QString AnnouncedName(QWidget* w)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    if (iface == nullptr) {
        return {};
    }
    for (const auto& [label, relation] : iface->relations(QAccessible::Label)) {
        if (qobject_cast<QLabel*>(label->object()) != nullptr) {
            return label->text(QAccessible::Name);
        }
    }
    return iface->text(QAccessible::Name);
}

// The names of every control of `window` a user can operate or read a picture from, as
// "class=name". A control named like its frame (what a reader says without a label) has none.
QStringList ControlNames(QWidget* window)
{
    QStringList names;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) != nullptr || qobject_cast<QComboBox*>(w) != nullptr ||
                             qobject_cast<QLineEdit*>(w) != nullptr || qobject_cast<QAbstractSlider*>(w) != nullptr ||
                             qobject_cast<QAbstractItemView*>(w) != nullptr ||
                             qobject_cast<QAbstractSpinBox*>(w) != nullptr || dynamic_cast<PictureBox*>(w) != nullptr;
        // Scroll bars, headers and tab-bar arrows are parts of Qt's own widgets.
        const bool part = qobject_cast<QScrollBar*>(w) != nullptr || qobject_cast<QHeaderView*>(w) != nullptr ||
                          qobject_cast<QTabBar*>(w->parentWidget()) != nullptr ||
                          qobject_cast<QComboBox*>(w->parentWidget()) != nullptr ||
                          qobject_cast<QAbstractSpinBox*>(w->parentWidget()) != nullptr;
        if (!control || part || w->window() != window) {
            continue;
        }
        const auto* frame = qobject_cast<QGroupBox*>(w->parentWidget());
        const QString name = AnnouncedName(w);
        names << (frame != nullptr && name == frame->title() ? QString() : name);
    }
    return names;
}

TEST_F(Form1Windows, everyControlOfEveryWindowIsAnnouncedByItsOwnName)
{
    engines->effectsFake.chain.samplerate(44100);
    engines->effectsFake.chain.Channels(2);
    frmFXOpts fx(form.get());
    fx.Load(engines->effectsFake.chain);
    FrmST st(form.get(), [] { return QString(); });
    About about(folder);
    FormatChooserDialog chooser({}, {}, form.get(), QStringLiteral("选择声音输出格式"));
    OutputFileDialog files(form.get(), QStringLiteral("Wave ACM Encoder"), QStringLiteral("wav"));
    const struct {
        QWidget* window;
        QStringList names;  // some of the names the window must offer
    } windows[] = {
        {form.get(),
         {QStringLiteral("设备:"), QStringLiteral("线路:"), QStringLiteral("声音:"), QStringLiteral("输出文件"),
          QStringLiteral("选择输出文件"), QStringLiteral("WAV格式:"), QStringLiteral("选择WAV格式"),
          QStringLiteral("取样:"), QStringLiteral("立体声"), QStringLiteral("打开文件夹"), QStringLiteral("回声"),
          QStringLiteral("开始录音"), QStringLiteral("试听"), QStringLiteral("示波器"), QStringLiteral("频谱"),
          QStringLiteral("左声道电平"), QStringLiteral("右声道电平")}},
        {&fx,
         {QStringLiteral("长度 (毫秒):"), QStringLiteral("音效增强:"), QStringLiteral("Dry:"), QStringLiteral("Wet:"),
          QStringLiteral("回放:"), QStringLiteral("扫描速度:"), QStringLiteral("扫描范围:"), QStringLiteral("频率:"),
          QStringLiteral("增强:"), QStringLiteral("80 Hz"), QStringLiteral("14 kHz"), QStringLiteral("触发电平:"),
          QStringLiteral("预录:"), QStringLiteral("静音后结束:"), QStringLiteral("定时开始:"),
          QStringLiteral("定时停止:")}},
        {&st,
         {QStringLiteral("播放/暂停"), QStringLiteral("停止"), QStringLiteral("播放位置"), QStringLiteral("音量:"),
          QStringLiteral("不满意，删除！"), QStringLiteral("打开所在文件夹"), QStringLiteral("关闭")}},
        {&about, {QStringLiteral("确定"), QStringLiteral("帮助(H)")}},
        {&chooser, {QStringLiteral("格式类别:"), QStringLiteral("属性"), QStringLiteral("确定")}},
        {&files, {}},
    };
    for (const auto& w : windows) {
        const QStringList names = ControlNames(w.window);
        EXPECT_FALSE(names.contains(QString()))
            << w.window->windowTitle().toStdString() << ": " << names.join(QLatin1Char('|')).toStdString();
        for (const QString& name : w.names) {
            EXPECT_TRUE(names.contains(name))
                << name.toStdString() << " among " << names.join(QLatin1Char('|')).toStdString();
        }
    }
}

}  // namespace
}  // namespace quillon
