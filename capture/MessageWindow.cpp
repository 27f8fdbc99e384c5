#include "capture/MessageWindow.h"

#include <QCoreApplication>
#include <QPointer>

#include <map>
#include <memory>
#include <mutex>

namespace quillon {
namespace {

// Handles are looked up from the capture threads when they post, so the table
// has its own lock; a window leaves it before it is destroyed.
struct WindowTable {
    std::mutex mutex;
    std::map<WindowHandle, MessageWindow*> windows;
    WindowHandle next = 0x100;
};

WindowTable& table()
{
    static WindowTable instance;
    return instance;
}

// Posted instead of a message when waiting messages must wake the owning thread.
QEvent::Type wakeEventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

}  // namespace

WindowMessage::WindowMessage(std::uint32_t msg, std::uintptr_t wp, std::intptr_t lp)
    : QEvent(eventType()), message(msg), wParam(wp), lParam(lp)
{
}

QEvent::Type WindowMessage::eventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

MessageWindow::MessageWindow(const std::string& caption, QObject* parent) : QObject(parent), caption_(caption)
{
    setObjectName(QString::fromStdString(caption));
    auto& t = table();
    const std::lock_guard lock(t.mutex);
    // Handles are never reused while the program runs: a stale handle finds nothing.
    handle_ = t.next;
    t.next += 4;
    t.windows.emplace(handle_, this);
}

MessageWindow::~MessageWindow()
{
    // Leave the table first, so no thread can post to a window being destroyed;
    // ~QObject then discards what was already posted.
    auto& t = table();
    const std::lock_guard lock(t.mutex);
    t.windows.erase(handle_);
}

std::intptr_t MessageWindow::windowProc(std::uint32_t /*message*/, std::uintptr_t /*wParam*/, std::intptr_t /*lParam*/)
{
    return 0;
}

MessageWindow* MessageWindow::find(WindowHandle window)
{
    auto& t = table();
    const std::lock_guard lock(t.mutex);
    const auto it = t.windows.find(window);
    return it == t.windows.end() ? nullptr : it->second;
}

int MessageWindow::countWithCaption(const std::string& caption)
{
    auto& t = table();
    const std::lock_guard lock(t.mutex);
    int count = 0;
    for (const auto& [handle, window] : t.windows) {
        if (window->caption_ == caption) {
            ++count;
        }
    }
    return count;
}

bool MessageWindow::postMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
{
    auto& t = table();
    const std::lock_guard lock(t.mutex);
    const auto it = t.windows.find(window);
    if (it == t.windows.end()) {
        return false;
    }
    MessageWindow* target = it->second;
    if (target->latency_ == std::chrono::steady_clock::duration::zero()) {
        // Qt takes ownership of the posted event.
        QCoreApplication::postEvent(target, std::make_unique<WindowMessage>(message, wParam, lParam).release());
        return true;
    }
    target->waiting_.push_back({message, wParam, lParam});
    if (!target->wakePosted_ && std::chrono::steady_clock::now() - target->lastDelivery_ > target->latency_) {
        target->wakePosted_ = true;
        QCoreApplication::postEvent(target, std::make_unique<QEvent>(wakeEventType()).release());
    }
    return true;
}

void MessageWindow::setPostLatency(std::chrono::milliseconds latency)
{
    auto& t = table();
    const std::lock_guard lock(t.mutex);
    latency_ = latency;
    lastDelivery_ = std::chrono::steady_clock::now();
    if (latency == std::chrono::milliseconds::zero() && !waiting_.empty() && !wakePosted_) {
        wakePosted_ = true;
        QCoreApplication::postEvent(this, std::make_unique<QEvent>(wakeEventType()).release());
    }
}

std::size_t MessageWindow::waitingCount() const
{
    auto& t = table();
    const std::lock_guard lock(t.mutex);
    return waiting_.size();
}

void MessageWindow::deliverWaiting(std::size_t limit)
{
    // One at a time without the lock: a window procedure may post, send or destroy
    // windows. A message posted meanwhile is delivered in this same call.
    auto& t = table();
    const QPointer<MessageWindow> alive(this);
    for (std::size_t delivered = 0; alive; ++delivered) {
        Waiting next{};
        {
            const std::lock_guard lock(t.mutex);
            lastDelivery_ = std::chrono::steady_clock::now();
            if (waiting_.empty() || delivered == limit) {
                return;
            }
            next = waiting_.front();
            waiting_.pop_front();
        }
        dispatch(next.message, next.wParam, next.lParam);
    }
}

void MessageWindow::dispatch(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
{
    WindowMessage m(message, wParam, lParam);
    QCoreApplication::sendEvent(this, &m);
}

std::intptr_t MessageWindow::sendMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                         std::intptr_t lParam)
{
    MessageWindow* target = find(window);
    if (target == nullptr) {
        return 0;
    }
    WindowMessage m(message, wParam, lParam);
    QCoreApplication::sendEvent(target, &m);
    return m.result;
}

bool MessageWindow::event(QEvent* e)
{
    if (e->type() == WindowMessage::eventType()) {
        auto* m = static_cast<WindowMessage*>(e);
        m->result = windowProc(m->message, m->wParam, m->lParam);
        return true;
    }
    if (e->type() == wakeEventType()) {
        {
            const std::lock_guard lock(table().mutex);
            wakePosted_ = false;
        }
        deliverWaiting();
        return true;
    }
    return QObject::event(e);
}

}  // namespace quillon
