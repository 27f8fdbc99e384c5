#include "ui/platform/GlobalShortcut.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QRandomGenerator>

#include "ui/platform/DesktopLog.h"

namespace quillon {
namespace {

// One entry of BindShortcuts' a(sa{sv}).
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

}  // namespace
}  // namespace quillon

Q_DECLARE_METATYPE(quillon::PortalShortcut)

namespace quillon {
namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kToggleId = QStringLiteral("toggle-recording");

// The portal answers on /org/freedesktop/portal/desktop/request/SENDER/TOKEN; listening there
// before the call leaves no gap for the answer to slip through.
QString requestPath(const QDBusConnection& bus, const QString& token)
{
    QString sender = bus.baseService();
    sender.remove(0, 1).replace(QLatin1Char('.'), QLatin1Char('_'));
    return kPortalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

QString handleText(const QVariant& value)
{
    if (value.canConvert<QDBusObjectPath>()) {
        return value.value<QDBusObjectPath>().path();
    }
    return value.toString();
}

}  // namespace

GlobalShortcut::GlobalShortcut(QString description, std::function<void()> activated, QObject* parent)
    : QObject(parent), description_(std::move(description)), activated_(std::move(activated))
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
}

void GlobalShortcut::Register()
{
    if (!SessionBusConfigured()) {
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    if (!bus.connect(QString(), kPortalPath, kShortcuts, QStringLiteral("Activated"), this,
                     SLOT(pressed(QDBusMessage)))) {
        qCWarning(lcDesktop) << "cannot listen for the shortcut portal's key presses";
        return;
    }
    const QString token = QStringLiteral("quillon%1").arg(QRandomGenerator::global()->generate());
    QVariantMap options;
    options.insert(QStringLiteral("handle_token"), token);
    options.insert(QStringLiteral("session_handle_token"), token);
    request(QStringLiteral("CreateSession"), {options}, token, SLOT(sessionCreated(uint, QVariantMap)));
}

void GlobalShortcut::request(const QString& method, const QList<QVariant>& arguments, const QString& token,
                             const char* slot)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString expected = requestPath(bus, token);
    bus.connect(QString(), expected, kRequest, QStringLiteral("Response"), this, slot);
    QDBusMessage call = QDBusMessage::createMethodCall(kPortal, kPortalPath, kShortcuts, method);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, expected, slot, method](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                QDBusConnection connection = QDBusConnection::sessionBus();
                const QDBusPendingReply<QDBusObjectPath> reply = *w;
                if (reply.isError()) {
                    connection.disconnect(QString(), expected, kRequest, QStringLiteral("Response"), this, slot);
                    qCDebug(lcDesktop) << "no global shortcut through the portal:" << method << reply.error().message();
                    return;
                }
                // Older portals choose the request's path themselves.
                if (const QString path = reply.value().path(); path != expected) {
                    connection.disconnect(QString(), expected, kRequest, QStringLiteral("Response"), this, slot);
                    connection.connect(QString(), path, kRequest, QStringLiteral("Response"), this, slot);
                }
            });
}

void GlobalShortcut::sessionCreated(uint response, const QVariantMap& results)
{
    if (response != 0 || !session_.isEmpty()) {
        qCDebug(lcDesktop) << "the shortcut portal gave no session:" << response;
        return;
    }
    session_ = handleText(results.value(QStringLiteral("session_handle")));
    QVariantMap properties;
    properties.insert(QStringLiteral("description"), description_);
    const QList<PortalShortcut> shortcuts = {{kToggleId, properties}};
    const QString token = QStringLiteral("quillon%1").arg(QRandomGenerator::global()->generate());
    QVariantMap options;
    options.insert(QStringLiteral("handle_token"), token);
    request(QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(shortcuts), QString(), options}, token,
            SLOT(shortcutsBound(uint, QVariantMap)));
}

void GlobalShortcut::shortcutsBound(uint response, const QVariantMap& results)
{
    qCDebug(lcDesktop) << "the desktop bound the shortcut:" << response << results;
}

void GlobalShortcut::pressed(const QDBusMessage& message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2) {
        return;
    }
    const QString session = handleText(arguments.at(0));
    const QString id = arguments.at(1).toString();
    if (!session_.isEmpty() && session == session_ && id == kToggleId && activated_) {
        activated_();
    }
}

}  // namespace quillon
