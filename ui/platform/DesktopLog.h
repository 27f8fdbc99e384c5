#pragma once

#include <QLoggingCategory>

// The desktop's services: the session-bus name, the shortcut portal, the sleep inhibitor.
Q_DECLARE_LOGGING_CATEGORY(lcDesktop)

namespace quillon {

// A session bus the desktop started: DBUS_SESSION_BUS_ADDRESS, or the user's bus in the runtime
// folder. Without either, asking for the bus would have libdbus launch a bus of its own for the
// X display, left running after us; we go without instead.
bool SessionBusConfigured();

}  // namespace quillon
