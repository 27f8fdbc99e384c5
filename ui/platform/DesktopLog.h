#pragma once

#include <QLoggingCategory>

// The desktop's services: the session-bus name, the shortcut portal, the sleep inhibitor.
Q_DECLARE_LOGGING_CATEGORY(lcDesktop)
