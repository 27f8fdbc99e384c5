#pragma once

#include <QLoggingCategory>

namespace quillon {

// Diagnostics of the windows (not messages for the user, which are boxes). Switch the debug
// level on with QT_LOGGING_RULES="quillon.ui.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcUi)

}  // namespace quillon
