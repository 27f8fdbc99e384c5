#include "ui/platform/DesktopLog.h"

Q_LOGGING_CATEGORY(lcDesktop, "quillon.desktop")

#include <QFileInfo>

namespace quillon {

bool SessionBusConfigured()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return true;
    }
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime + QStringLiteral("/bus")).exists();
}

}  // namespace quillon
