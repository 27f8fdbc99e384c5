#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDir>

#include <csignal>

#include "app/cli/posix/StopSignals.h"
#include "app/gui/NoDisplay.h"
#include "recording/InstanceName.h"
#include "recording/Language.h"
#include "recording/ProgramFolder.h"
#include "recording/RealPorts.h"
#include "ui/Form1.h"
#include "ui/Logging.h"
#include "ui/QtMessageBoxes.h"
#include "ui/QuillonApplication.h"
#include "ui/platform/DisplayConnection.h"
#include "ui/platform/GlobalShortcut.h"
#include "ui/platform/RemoteControl.h"
#include "ui/platform/SleepInhibitor.h"

int main(int argc, char** argv)
{
    // A file-size limit must end a recording with a write error, not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // The display repaints small areas 40 times a second. Through X shared memory each
    // repaint first waits for the server to finish reading the last one (a round trip
    // and two thread wake-ups); sent as plain requests, it does not wait at all.
    const bool setShm = !qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM");
    if (setShm) {
        qputenv("QT_XCB_NO_MITSHM", "1");
    }
    quillon::NoDisplayGuard noDisplay;
    quillon::QuillonApplication app(argc, argv);
    noDisplay.done();
    if (setShm) {
        qunsetenv("QT_XCB_NO_MITSHM");  // read once, above; programs we start are not ours to tune
    }
    quillon::WidenDisplaySendBuffer();
    quillon::InstallTranslation(app);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setApplicationVersion(QStringLiteral("3.91"));
    // Ties the window to its menu entry (the Wayland app id, the desktop's task list).
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.quillon.Quillon"));

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption home(QStringLiteral("home"),
                                  QStringLiteral("Program folder (nu.ini and the recordings' folder file)."),
                                  QStringLiteral("DIR"));
    parser.addOption(home);
    // For scripts that show the window at work: choose a device and press the record button.
    QCommandLineOption demo(QStringLiteral("demo-record"), QStringLiteral("Start recording from device INDEX."),
                            QStringLiteral("INDEX"));
    demo.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(demo);
    QCommandLineOption demoEffects(QStringLiteral("demo-effects"),
                                   QStringLiteral("Tick the effect boxes whose bits are set in BITS first."),
                                   QStringLiteral("BITS"));
    demoEffects.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(demoEffects);
    parser.process(app);

    // Every message from here on is a box on the screen.
    const quillon::QtMessageBoxes boxes;

    const auto folder = quillon::ChooseProgramFolder(parser.value(home), QApplication::applicationDirPath());
    quillon::ProgramFolder(folder);
    if (folder.fellBack) {
        qCWarning(quillon::lcUi).noquote() << quillon::ProgramFolderNote(folder);
    }

    // One window per program folder: a second one brings the first to the front and ends.
    quillon::RemoteControl remote(
        quillon::InstanceBusName(folder.path, quillon::DefaultProgramFolder(QApplication::applicationDirPath())));
    if (remote.TakeName() == quillon::RemoteControl::Claim::HeldByOther) {
        return remote.ShowOther() ? 0 : 1;
    }

    quillon::Form1 form(std::make_unique<quillon::RealPorts>(), folder.path);
    remote.Attach(&form);
    quillon::SleepInhibitor sleepInhibitor(QCoreApplication::translate("Quillon", "正在录音"), [&form] {
        form.ShowNote(QCoreApplication::translate("Quillon", "无法阻止休眠"));
    });
    QObject::connect(&form, &quillon::Form1::recordingChanged, &remote, [&form, &remote, &sleepInhibitor] {
        remote.Refresh();
        sleepInhibitor.Hold(form.RemoteState() != QStringLiteral("idle"));
    });
    quillon::GlobalShortcut shortcut(QCoreApplication::translate("Quillon", "开始或停止录音"),
                                     [&form] { form.RemoteToggle(); });
    // The program ends with its main window (close box or the tray's 退出), whatever else is open.
    QObject::connect(&form, &quillon::Form1::unloaded, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    form.Form_Load();
    shortcut.Register();
    const int effectBits = parser.value(demoEffects).toInt();
    for (int i = 0; i < 4; ++i) {
        auto* box = form.findChild<QCheckBox*>(QStringLiteral("chkFX%1").arg(i));
        if (box != nullptr && (effectBits & (1 << i)) != 0) {
            box->click();
        }
    }
    if (parser.isSet(demo)) {
        if (auto* devices = form.findChild<QComboBox*>(QStringLiteral("cboDev"))) {
            devices->setCurrentIndex(parser.value(demo).toInt());
            form.cboDev_Click();
            form.cmdDo_Click();
        }
    }
    // Ctrl+C in the terminal, a logout or kill: the close sequence finishes the file and saves
    // the counter, then the program ends even if other windows are open.
    const quillon::cli::StopSignals closeOnSignal([&form] {
        form.close();
        QCoreApplication::quit();
    });
    return QApplication::exec();
}
