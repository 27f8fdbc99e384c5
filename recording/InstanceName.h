#pragma once

#include <QString>

namespace quillon {

// The application id: the desktop file's name and the window program's name on the session bus.
inline constexpr const char* kApplicationId = "io.github.quillon.Quillon";
// Where the running window answers on that bus, and the interface it answers with.
inline constexpr const char* kRemoteObjectPath = "/io/github/quillon/Quillon";
inline constexpr const char* kRemoteInterface = "io.github.quillon.Quillon";

// The folder the window uses when neither --home nor QUILLON_HOME names one (not created here).
QString DefaultProgramFolder(const QString& executableDir, const QString& dataHome);
QString DefaultProgramFolder(const QString& executableDir);

// The bus name of the window that records into `folder`: the application id for the default
// folder, the id with a suffix derived from the canonical path for any other, so one window
// runs per folder.
QString InstanceBusName(const QString& folder, const QString& defaultFolder);

// The folder holding the window program, seen from the command-line tool's folder: the same
// one once installed; the build tree keeps the window in gui/ beside it.
QString WindowExecutableDir(const QString& cliDir);

}  // namespace quillon
