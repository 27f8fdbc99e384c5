#pragma once

#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>

namespace quillon {

// A desktop-wide key through the desktop's GlobalShortcuts portal: the desktop asks the user
// for the key in its own dialog, also on Wayland. Where there is no such portal nothing
// happens (the README tells how to bind `quillon-cli ctl toggle` instead).
class GlobalShortcut final : public QObject {
    Q_OBJECT
public:
    // `description` is what the desktop's dialog shows; `activated` runs on each press.
    GlobalShortcut(QString description, std::function<void()> activated, QObject* parent = nullptr);

    // Asks the portal for a session and the shortcut, without waiting for the answers.
    void Register();
    // The portal's session once it has one; empty before.
    [[nodiscard]] const QString& Session() const { return session_; }

private slots:
    void sessionCreated(uint response, const QVariantMap& results);
    void shortcutsBound(uint response, const QVariantMap& results);
    // Activated(o session, s shortcut, t timestamp, a{sv} options), taken whole.
    void pressed(const QDBusMessage& message);

private:
    // Calls the portal's `method`; its answer comes as Response on a request object to `slot`.
    void request(const QString& method, const QList<QVariant>& arguments, const QString& token, const char* slot);

    QString description_;
    std::function<void()> activated_;
    QString session_;
    int tokens_ = 0;
};

}  // namespace quillon
