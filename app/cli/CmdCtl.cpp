// quillon-cli ctl: starts, stops and marks the recording of the running window, or asks for its
// state; for desktop shortcuts and scripts.
#include <QCoreApplication>

#include <iostream>
#include <string>

#include "app/cli/CliCommands.h"
#include "app/cli/platform/WindowCall.h"
#include "recording/InstanceName.h"
#include "recording/PathBytes.h"
#include "recording/ProgramFolder.h"

namespace quillon::cli {
namespace {

constexpr const char* kUsage =
    "Usage: quillon-cli ctl start|stop|toggle|mark|status [--home DIR]\n"
    "Controls the Quillon window that runs for the program folder (DIR, QUILLON_HOME or the default).\n"
    "status prints one line: idle, armed, or recording FILE SECONDS.\n"
    "Exit status 3: no window runs for that folder.\n";

constexpr int kNoWindow = 3;

struct Action {
    const char* name;
    const char* method;
};
constexpr Action kActions[] = {
    {"start", "Start"}, {"stop", "Stop"}, {"toggle", "Toggle"}, {"mark", "Mark"}, {"status", ""},
};

}  // namespace

int runCtl(const Args& args)
{
    const Action* action = nullptr;
    std::string home;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (args[i] == "--home" && i + 1 < args.size()) {
            home = args[++i];
            continue;
        }
        const Action* named = nullptr;
        for (const Action& candidate : kActions) {
            if (args[i] == candidate.name) {
                named = &candidate;
            }
        }
        if (named == nullptr || action != nullptr) {
            std::cerr << "quillon-cli ctl: unexpected argument: " << args[i] << '\n' << kUsage;
            return 2;
        }
        action = named;
    }
    if (action == nullptr) {
        std::cerr << kUsage;
        return 2;
    }
    if (PathHasRawBytes(PathFromBytes(home))) {
        std::cerr << "quillon-cli ctl: --home " << home
                  << ": the folder name is not valid UTF-8; rename the folder or choose another\n";
        return 2;
    }

    int argc = 1;
    char name[] = "quillon-cli";
    char* argv[] = {name, nullptr};
    const QCoreApplication app(argc, argv);
    // The folder and the name the window would take for it.
    const QString windowDir = WindowExecutableDir(QCoreApplication::applicationDirPath());
    const QString folder = ChooseProgramFolder(QString::fromStdString(home), windowDir).path;
    const QString busName = InstanceBusName(folder, DefaultProgramFolder(windowDir));

    const WindowAnswer answer = CallWindow(busName, QString::fromLatin1(action->method));
    switch (answer.kind) {
        case WindowAnswer::Kind::NoWindow:
            std::cerr << "quillon-cli ctl: no Quillon window is running for " << folder.toStdString() << '\n';
            return kNoWindow;
        case WindowAnswer::Kind::Failed:
            std::cerr << "quillon-cli ctl: the window did not answer: " << answer.error.toStdString() << '\n';
            return 1;
        case WindowAnswer::Kind::Answered:
            break;
    }
    if (std::string(action->name) == "status") {
        std::cout << answer.state.toStdString();
        if (answer.state == QStringLiteral("recording")) {
            std::cout << ' ' << answer.file.toStdString() << ' ' << answer.seconds;
        }
        std::cout << '\n';
    }
    return 0;
}

}  // namespace quillon::cli
