#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include "ui/RemoteTarget.h"

namespace quillon {

// The window's name and object on the session bus: Start, Stop, Toggle, Mark and Show, the
// properties State, File and Seconds, and PropertiesChanged when they change.
class RemoteControl final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.github.quillon.Quillon")
    Q_PROPERTY(QString State READ State)
    Q_PROPERTY(QString File READ File)
    Q_PROPERTY(qlonglong Seconds READ Seconds)

public:
    enum class Claim { Owned, HeldByOther, NoBus };

    explicit RemoteControl(QString busName, QObject* parent = nullptr);
    ~RemoteControl() override;
    RemoteControl(const RemoteControl&) = delete;
    RemoteControl& operator=(const RemoteControl&) = delete;

    // Puts the object on the bus and takes the name. Calls wait in the bus queue until the
    // event loop runs, so the target may be attached after.
    Claim TakeName();
    // Asks the window holding the name to show itself; false when it did not answer.
    [[nodiscard]] bool ShowOther() const;
    void Attach(RemoteTarget* target);
    // Sends what changed since the last look (the state, the file, the seconds); called when
    // the state changes, and looks again by itself while it is not idle.
    void Refresh();

    [[nodiscard]] QString State() const;
    [[nodiscard]] QString File() const;
    [[nodiscard]] qlonglong Seconds() const;

public slots:
    QString Start();
    QString Stop();
    QString Toggle();
    QString Mark();
    void Show();

private:
    QString busName_;
    RemoteTarget* target_ = nullptr;
    bool registered_ = false;
    bool owned_ = false;
    QTimer poll_;
    QString sentState_;
    QString sentFile_;
    qlonglong sentSeconds_ = -1;
};

}  // namespace quillon
