#pragma once

#include <QString>
#include <QtGlobal>

namespace quillon::cli {

// What the running window answered on the session bus.
struct WindowAnswer {
    enum class Kind { Answered, NoWindow, Failed };
    Kind kind = Kind::Failed;
    QString state;
    QString file;
    qlonglong seconds = 0;
    QString error;  // why it failed
};

// Calls `method` (Start, Stop, Toggle, Mark) of the window holding `busName`, or with an empty
// method only reads its state, file and seconds.
WindowAnswer CallWindow(const QString& busName, const QString& method);

}  // namespace quillon::cli
