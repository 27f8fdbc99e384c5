#include "ui/platform/SleepInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include "ui/platform/DesktopLog.h"

namespace quillon {
namespace {

// The portal's Inhibit flag for suspending.
constexpr uint kPortalSuspend = 4;

}  // namespace

SleepInhibitor::SleepInhibitor(QString reason, std::function<void()> unavailable, QObject* parent)
    : QObject(parent), reason_(std::move(reason)), unavailable_(std::move(unavailable))
{
}

SleepInhibitor::~SleepInhibitor()
{
    release();
}

void SleepInhibitor::Hold(bool on)
{
    if (on == wanted_) {
        return;
    }
    wanted_ = on;
    ++round_;
    if (on) {
        askLogind(round_);
    } else {
        release();
    }
}

QString SleepInhibitor::Holder() const
{
    if (logind_) {
        return QStringLiteral("logind");
    }
    return portalRequest_.isEmpty() ? QString() : QStringLiteral("portal");
}

void SleepInhibitor::askLogind(int round)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        qCDebug(lcDesktop) << "no system bus for logind:" << bus.lastError().message();
        askPortal(round);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    // Idle too: a desktop's automatic suspend goes through logind's idle handling.
    call << QStringLiteral("sleep:idle") << QStringLiteral("Quillon") << reason_ << QStringLiteral("block");
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, round](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        if (reply.isError()) {
            qCDebug(lcDesktop) << "logind does not inhibit sleep:" << reply.error().message();
            if (round == round_) {
                askPortal(round);
            }
            return;
        }
        // An answer for a recording that has stopped meanwhile: its descriptor closes here.
        if (round == round_ && wanted_) {
            logind_ = reply.value();
        }
    });
}

void SleepInhibitor::askPortal(int round)
{
    if (!SessionBusConfigured()) {
        qCDebug(lcDesktop) << "no session bus for the portal";
        if (!told_ && unavailable_) {
            told_ = true;
            unavailable_();
        }
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
    QVariantMap options;
    options.insert(QStringLiteral("reason"), reason_);
    call << QString() << kPortalSuspend << options;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, round](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (reply.isError()) {
            qCDebug(lcDesktop) << "the portal does not inhibit sleep:" << reply.error().message();
            if (round == round_ && !told_ && unavailable_) {
                told_ = true;
                unavailable_();
            }
            return;
        }
        if (round == round_ && wanted_) {
            portalRequest_ = reply.value().path();
        } else {
            // Too late for its recording: closing the request ends the inhibition.
            QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.portal.Desktop"), reply.value().path(),
                QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close")));
        }
    });
}

void SleepInhibitor::release()
{
    logind_.reset();
    if (!portalRequest_.isEmpty()) {
        QDBusConnection::sessionBus().asyncCall(
            QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.portal.Desktop"), portalRequest_,
                                           QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close")));
        portalRequest_.clear();
    }
}

}  // namespace quillon
