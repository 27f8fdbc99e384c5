#include "ui/platform/DesktopLog.h"

Q_LOGGING_CATEGORY(lcDesktop, "quillon.desktop")
