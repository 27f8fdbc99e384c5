#pragma once

#include <QString>
#include <QtGlobal>

namespace quillon {

// What the window offers to control from outside (the session bus, the tray menu, a desktop
// shortcut). Requests return at once; the work runs after, as the record button's click.
class RemoteTarget {
public:
    virtual ~RemoteTarget() = default;
    // "idle", "armed" or "recording".
    [[nodiscard]] virtual QString RemoteState() const = 0;
    // The file being written; empty while idle.
    [[nodiscard]] virtual QString RemoteFile() const = 0;
    // Whole seconds recorded in the current take.
    [[nodiscard]] virtual qint64 RemoteSeconds() const = 0;
    virtual void RemoteStart() = 0;
    virtual void RemoteStop() = 0;
    virtual void RemoteToggle() = 0;
    virtual void RemoteMark() = 0;
    // Brings the window to the front, also out of the tray.
    virtual void RemoteShow() = 0;
};

}  // namespace quillon
