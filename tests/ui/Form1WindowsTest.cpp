// The main window's buttons that open the other windows, with fake engines and a real chain.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMediaPlayer>
#include <QPushButton>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "effects/clsDSP.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/FakeEngines.h"
#include "tests/ui/RecordingOpener.h"
#include "ui/About.h"
#include "ui/Form1.h"
#include "ui/FrmST.h"
#include "ui/ModFolderSetFileFocus.h"
#include "ui/OutputFileDialog.h"
#include "ui/TrayIcon.h"
#include "ui/frmFXOpts.h"
#include "ui/recording/FileCounter.h"

namespace quillon {
namespace {

// The logging fakes, plus a real effects chain for the settings window.
class EnginesWithChain final : public Engines {
public:
    CapturePort& capture() override { return inner.captureFake; }
    EncoderPort& encoder() override { return inner.encoderFake; }
    EffectsPort& effects() override { return inner.effectsFake; }
    void Release() override { inner.Release(); }
    clsDSP* clsEffects() override { return &chain; }

    test::LoggingEngines inner;
    clsDSP chain;
};

using test::RecordingOpener;

struct Form1Windows : ::testing::Test {
    Form1Windows()
    {
        std::filesystem::create_directory(dir / "file");
        std::ofstream(dir / "nu.ini") << "5\r\n";
        auto owned = std::make_unique<EnginesWithChain>();
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
    EnginesWithChain* engines = nullptr;
    std::unique_ptr<Form1> form;
};

TEST_F(Form1Windows, settingsButtonOpensTheModalWindowOnTheChain_andItsValuesStay)
{
    engines->chain.EchoLength(321);
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
    EXPECT_EQ(engines->chain.AmplifyDB(), -5);
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
    QTRY_VERIFY(form->Tray() == nullptr);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(QApplication::quitOnLastWindowClosed());
}

TEST_F(Form1Windows, putAwayButtonNeverLeavesTheWindowUnreachable)
{
    child<QPushButton>("Command4")->click();
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        EXPECT_FALSE(form->isVisible());
        form->Tray()->ShowAction()->trigger();
        EXPECT_TRUE(form->isVisible());
    } else {
        // Offscreen and bare X servers have no notification area: minimised, not hidden.
        EXPECT_TRUE(form->isVisible());
        EXPECT_TRUE(form->isMinimized());
    }
}

}  // namespace
}  // namespace quillon
