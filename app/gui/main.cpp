#include <QApplication>
#include <QCommandLineParser>
#include <QDir>

#include <csignal>

#include "ui/Form1.h"
#include "ui/recording/MakeEngines.h"
#include "ui/recording/ProgramFolder.h"

int main(int argc, char** argv)
{
    // A file-size limit must end a recording with a write error, not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setApplicationVersion(QStringLiteral("3.91"));

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption home(QStringLiteral("home"),
                                  QStringLiteral("Program folder (nu.ini and the recordings' folder file)."),
                                  QStringLiteral("DIR"));
    parser.addOption(home);
    parser.process(app);

    const auto folder = quillon::ChooseProgramFolder(parser.value(home), QApplication::applicationDirPath());
    quillon::ProgramFolder(folder);
    if (folder.fellBack) {
        qWarning("%s", qPrintable(quillon::ProgramFolderNote(folder)));
    }

    quillon::Form1 form(quillon::MakeEngines(), folder.path);
    form.Form_Load();
    return QApplication::exec();
}
