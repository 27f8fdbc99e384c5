#pragma once

#include <QEvent>
#include <QObject>

#include <chrono>
#include <cstdint>
#include <deque>
#include <limits>
#include <string>

namespace quillon {

// A window handle as the capture code passes it around: a number, 0 for none.
using WindowHandle = std::uint32_t;

// A window message (number, wParam, lParam) travelling as a Qt event. `result`
// carries the window procedure's return value back to a synchronous sender.
class WindowMessage final : public QEvent {
public:
    WindowMessage(std::uint32_t msg, std::uintptr_t wp, std::intptr_t lp);

    static QEvent::Type eventType();

    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    std::intptr_t result = 0;
};

// A hidden window of the UI thread: it has a handle that other threads may post
// messages to, and a window procedure (windowProc) that the hook facility can
// wrap. The default procedure, like a static control's, ignores every message.
class MessageWindow : public QObject {
    Q_OBJECT

public:
    explicit MessageWindow(const std::string& caption, QObject* parent = nullptr);
    ~MessageWindow() override;
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    [[nodiscard]] WindowHandle handle() const { return handle_; }
    [[nodiscard]] const std::string& caption() const { return caption_; }

    // The window's own procedure.
    virtual std::intptr_t windowProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

    // The live window with this handle, or nullptr (call on the thread that owns it).
    static MessageWindow* find(WindowHandle window);
    // Number of live windows whose caption is `caption`.
    static int countWithCaption(const std::string& caption);

    // Queues a message for the window; safe from any thread. False when the
    // window no longer exists (the message is then lost, as with a destroyed window).
    static bool postMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
    // Delivers a message at once, through any hook, on the calling (owning) thread.
    static std::intptr_t sendMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                     std::intptr_t lParam);

    // Lets posted messages wait for deliverWaiting(), which the owning thread calls
    // from a timer it runs anyway, so they do not wake the thread on their own. A
    // message posted when no such call came for `latency` wakes it as usual, with
    // everything waiting before it. Zero (the default) delivers each as it is posted.
    void setPostLatency(std::chrono::milliseconds latency);
    // Delivers the waiting messages in the order they were posted (owning thread), at
    // most `limit` of them; the rest wait for the next call.
    void deliverWaiting(std::size_t limit = std::numeric_limits<std::size_t>::max());
    // Messages waiting for deliverWaiting().
    [[nodiscard]] std::size_t waitingCount() const;

protected:
    bool event(QEvent* e) override;

private:
    struct Waiting {
        std::uint32_t message;
        std::uintptr_t wParam;
        std::intptr_t lParam;
    };
    void dispatch(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

    std::string caption_;
    WindowHandle handle_;
    // Guarded by the window table's lock, which posting threads hold.
    std::chrono::steady_clock::duration latency_{};
    std::chrono::steady_clock::time_point lastDelivery_;
    std::deque<Waiting> waiting_;
    bool wakePosted_ = false;
};

}  // namespace quillon
