#include "app/cli/platform/WindowCall.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QVariantMap>

#include "recording/InstanceName.h"
#include "ui/platform/DesktopLog.h"

namespace quillon::cli {
namespace {

// The window answers at once, also with a box open; longer means it hangs.
constexpr int kCallTimeoutMs = 10000;

WindowAnswer failed(const QString& why)
{
    WindowAnswer answer;
    answer.error = why;
    return answer;
}

}  // namespace

WindowAnswer CallWindow(const QString& busName, const QString& method)
{
    WindowAnswer none;
    none.kind = WindowAnswer::Kind::NoWindow;
    if (!SessionBusConfigured()) {
        return none;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return none;  // without a session bus no window can be reached either
    }
    const QDBusReply<bool> held = bus.interface()->isServiceRegistered(busName);
    if (!held.isValid()) {
        return failed(held.error().message());
    }
    if (!held.value()) {
        return none;
    }
    const QString path = QString::fromLatin1(kRemoteObjectPath);
    const QString iface = QString::fromLatin1(kRemoteInterface);
    if (!method.isEmpty()) {
        const QDBusMessage reply =
            bus.call(QDBusMessage::createMethodCall(busName, path, iface, method), QDBus::Block, kCallTimeoutMs);
        if (reply.type() == QDBusMessage::ErrorMessage) {
            return failed(reply.errorMessage());
        }
    }
    QDBusMessage getAll = QDBusMessage::createMethodCall(
        busName, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    getAll << iface;
    const QDBusReply<QVariantMap> properties = bus.call(getAll, QDBus::Block, kCallTimeoutMs);
    if (!properties.isValid()) {
        return failed(properties.error().message());
    }
    WindowAnswer answer;
    answer.kind = WindowAnswer::Kind::Answered;
    answer.state = properties.value().value(QStringLiteral("State")).toString();
    answer.file = properties.value().value(QStringLiteral("File")).toString();
    answer.seconds = properties.value().value(QStringLiteral("Seconds")).toLongLong();
    return answer;
}

}  // namespace quillon::cli
