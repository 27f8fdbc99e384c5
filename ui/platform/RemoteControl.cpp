#include "ui/platform/RemoteControl.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QVariantMap>

#include "recording/InstanceName.h"
#include "ui/platform/DesktopLog.h"

namespace quillon {
namespace {

const QString kPath = QString::fromLatin1(kRemoteObjectPath);
const QString kInterface = QString::fromLatin1(kRemoteInterface);
// The seconds move on while recording; listeners hear of them about as often as they change.
constexpr int kPollMs = 500;
// A window that does not answer a show request in this time is not going to.
constexpr int kShowTimeoutMs = 10000;

}  // namespace

RemoteControl::RemoteControl(QString busName, QObject* parent) : QObject(parent), busName_(std::move(busName))
{
    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, &RemoteControl::Refresh);
}

RemoteControl::~RemoteControl()
{
    if (!registered_) {
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (owned_) {
        bus.unregisterService(busName_);
    }
    bus.unregisterObject(kPath);
}

RemoteControl::Claim RemoteControl::TakeName()
{
    if (!SessionBusConfigured()) {
        qCWarning(lcDesktop) << "no session bus, so no control from outside";
        return Claim::NoBus;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCWarning(lcDesktop) << "no session bus, so no control from outside:" << bus.lastError().message();
        return Claim::NoBus;
    }
    registered_ =
        bus.registerObject(kPath, this, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
    if (!registered_) {
        qCWarning(lcDesktop) << "could not put the control object on the session bus";
        return Claim::NoBus;
    }
    // Not queued: a second window for the same folder hands over to the first and ends.
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
        busName_, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        qCWarning(lcDesktop) << "could not take the name" << busName_ << ':' << reply.error().message();
        return Claim::NoBus;
    }
    if (reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        return Claim::HeldByOther;
    }
    owned_ = true;
    return Claim::Owned;
}

bool RemoteControl::ShowOther() const
{
    const QDBusMessage call = QDBusMessage::createMethodCall(busName_, kPath, kInterface, QStringLiteral("Show"));
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, kShowTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        qCWarning(lcDesktop) << "the running window did not answer:" << reply.errorMessage();
        return false;
    }
    return true;
}

void RemoteControl::Attach(RemoteTarget* target)
{
    target_ = target;
    // Listeners hear of changes from here on; the start is what Get answers.
    sentState_ = State();
    sentFile_ = File();
    sentSeconds_ = Seconds();
}

void RemoteControl::Refresh()
{
    // Only a take's seconds move on their own; an idle window is not woken for nothing.
    if (State() == QStringLiteral("idle")) {
        poll_.stop();
    } else if (!poll_.isActive()) {
        poll_.start();
    }
    QVariantMap changed;
    if (const QString state = State(); state != sentState_) {
        sentState_ = state;
        changed.insert(QStringLiteral("State"), state);
    }
    if (const QString file = File(); file != sentFile_) {
        sentFile_ = file;
        changed.insert(QStringLiteral("File"), file);
    }
    if (const qlonglong seconds = Seconds(); seconds != sentSeconds_) {
        sentSeconds_ = seconds;
        changed.insert(QStringLiteral("Seconds"), seconds);
    }
    if (changed.isEmpty() || !owned_) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << kInterface << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

QString RemoteControl::State() const
{
    return target_ != nullptr ? target_->RemoteState() : QStringLiteral("idle");
}

QString RemoteControl::File() const
{
    return target_ != nullptr ? target_->RemoteFile() : QString();
}

qlonglong RemoteControl::Seconds() const
{
    return target_ != nullptr ? target_->RemoteSeconds() : 0;
}

QString RemoteControl::Start()
{
    if (target_ != nullptr) {
        target_->RemoteStart();
    }
    return State();
}

QString RemoteControl::Stop()
{
    if (target_ != nullptr) {
        target_->RemoteStop();
    }
    return State();
}

QString RemoteControl::Toggle()
{
    if (target_ != nullptr) {
        target_->RemoteToggle();
    }
    return State();
}

QString RemoteControl::Mark()
{
    if (target_ != nullptr) {
        target_->RemoteMark();
    }
    return State();
}

void RemoteControl::Show()
{
    if (target_ != nullptr) {
        target_->RemoteShow();
    }
}

}  // namespace quillon
