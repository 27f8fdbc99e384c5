#include "app/gui/NoDisplay.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace quillon {
namespace {

struct Held {
    QtMsgType type;
    QString text;
};

std::vector<Held>& held()
{
    static std::vector<Held> messages;
    return messages;
}

QtMessageHandler previous = nullptr;
bool guarding = false;

void holdOrRefuse(QtMsgType type, const QMessageLogContext& /*context*/, const QString& text)
{
    if (type == QtFatalMsg) {
        std::fputs(
            "quillon: no display available (DISPLAY or WAYLAND_DISPLAY names none that answers); "
            "to record without a window use: quillon-cli record\n",
            stderr);
        std::_Exit(1);
    }
    held().push_back({type, text});
}

}  // namespace

NoDisplayGuard::NoDisplayGuard()
{
    guarding = true;
    previous = qInstallMessageHandler(holdOrRefuse);
}

NoDisplayGuard::~NoDisplayGuard()
{
    done();
}

void NoDisplayGuard::done()
{
    if (!guarding) {
        return;
    }
    guarding = false;
    qInstallMessageHandler(previous);
    for (const auto& message : std::exchange(held(), {})) {
        qt_message_output(message.type, QMessageLogContext(), message.text);
    }
}

}  // namespace quillon
