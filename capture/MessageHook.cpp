#include "capture/MessageHook.h"

#include <QPointer>
#include <QThread>

#include <algorithm>
#include <cstdio>

#include "capture/EventLog.h"
#include "common/MessageBoxes.h"

namespace quillon {

// One hooked window: an event filter that stands in for the window's procedure.
class HookBlock final : public QObject {
public:
    HookBlock(MessageHook& hook, MessageWindow& target) : window(&target), hook_(hook) {}

    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (watched != window || e->type() != WindowMessage::eventType()) {
            return false;
        }
        return hook_.hookProc(*this, *static_cast<WindowMessage*>(e));
    }

    int nesting = 0;
    bool released = false;
    WindowHandle hWnd = 0;
    HookOwner* owner = nullptr;
    const HookCallback* callback = nullptr;
    MessageHook::MessageTable before;
    MessageHook::MessageTable after;
    std::int32_t userValue = 0;
    QPointer<MessageWindow> window;
    QMetaObject::Connection destroyedConnection;

private:
    MessageHook& hook_;
};

bool MessageHook::MessageTable::matches(std::uint32_t message) const
{
    if (count == ALL_MESSAGES) {
        return true;
    }
    return std::find(entries.begin(), entries.begin() + std::max(count, 0), message) !=
           entries.begin() + std::max(count, 0);
}

MessageHook::MessageHook(std::string ownerClass, HookOwner& owner) : ownerClass_(std::move(ownerClass)), owner_(owner)
{
}

MessageHook::~MessageHook()
{
    for (auto& block : blocks_) {
        QObject::disconnect(block->destroyedConnection);
        if (block->window != nullptr) {
            block->window->removeEventFilter(block.get());
        }
    }
}

std::string MessageHook::key(WindowHandle window)
{
    return std::to_string(window) + "h";
}

bool MessageHook::sc_Subclass(WindowHandle window, std::int32_t userValue, std::int32_t ordinal, HookOwner* owner,
                              bool /*safety*/)
{
    MessageWindow* target = MessageWindow::find(window);
    if (target == nullptr) {
        zReport("sc_Subclass", "Invalid window handle");
        return false;
    }
    // Events can only be filtered on the thread that owns the window.
    if (target->thread() != QThread::currentThread()) {
        zReport("sc_Subclass", "Window handle belongs to another process");
        return false;
    }
    HookOwner& realOwner = owner != nullptr ? *owner : owner_;
    const HookCallback* callback = zFindCallback(realOwner, ordinal);
    if (callback == nullptr) {
        zReport("sc_Subclass", "Callback method not found");
        return false;
    }
    if (!registry_) {
        registry_.emplace();
    }
    auto block = std::make_unique<HookBlock>(*this, *target);
    const std::string k = key(window);
    if (std::any_of(registry_->begin(), registry_->end(), [&](const auto& entry) { return entry.first == k; })) {
        zReport("sc_Subclass", "Window handle is already subclassed");
        return false;
    }
    block->hWnd = window;
    block->owner = &realOwner;
    block->callback = callback;
    block->userValue = userValue;
    HookBlock* raw = block.get();
    block->destroyedConnection = QObject::connect(target, &QObject::destroyed, [this, raw] { windowDestroyed(*raw); });
    target->installEventFilter(raw);
    registry_->emplace_back(k, raw);
    blocks_.push_back(std::move(block));
    return true;
}

void MessageHook::sc_StopAll()
{
    if (!registry_) {
        return;
    }
    // Copy first: sc_UnSubclass removes entries.
    const auto entries = *registry_;
    // NOLINTNEXTLINE(modernize-loop-convert): clang 14 cannot compile views::reverse over libstdc++ 12
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->second->callback != nullptr) {
            sc_UnSubclass(it->second->hWnd);
        }
    }
    registry_.reset();
}

void MessageHook::sc_UnSubclass(WindowHandle window)
{
    if (!registry_) {
        zReport("sc_UnSubclass", "Window handle isn't subclassed");
        return;
    }
    HookBlock* block = zMap_hWnd(window);
    if (block == nullptr) {
        return;
    }
    if (block->callback != nullptr) {
        // The hook stays installed until the next message has been through the
        // window's own procedure; only then is it safe to take it away.
        block->released = true;
        zDelMsg(ALL_MESSAGES, block->before);
        zDelMsg(ALL_MESSAGES, block->after);
    }
    const std::string k = key(window);
    std::erase_if(*registry_, [&](const auto& entry) { return entry.first == k; });
}

void MessageHook::sc_HookMessage(WindowHandle window, std::int32_t message, std::int32_t when)
{
    HookBlock* block = zMap_hWnd(window);
    if (block == nullptr || block->callback == nullptr) {
        return;
    }
    if ((when & MSG_BEFORE) != 0) {
        zAddMsg(message, block->before);
    }
    if ((when & MSG_AFTER) != 0) {
        zAddMsg(message, block->after);
    }
}

void MessageHook::sc_UnhookMessage(WindowHandle window, std::int32_t message, std::int32_t when)
{
    HookBlock* block = zMap_hWnd(window);
    if (block == nullptr || block->callback == nullptr) {
        return;
    }
    if ((when & MSG_BEFORE) != 0) {
        zDelMsg(message, block->before);
    }
    if ((when & MSG_AFTER) != 0) {
        zDelMsg(message, block->after);
    }
}

std::intptr_t MessageHook::sc_CallPrevious(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                           std::intptr_t lParam)
{
    HookBlock* block = zMap_hWnd(window);
    if (block == nullptr || block->window == nullptr) {
        return 0;
    }
    return block->window->windowProc(message, wParam, lParam);
}

std::int32_t MessageHook::sc_UserValue(WindowHandle window)
{
    HookBlock* block = zMap_hWnd(window);
    return block == nullptr ? 0 : block->userValue;
}

void MessageHook::sc_UserValue(WindowHandle window, std::int32_t value)
{
    HookBlock* block = zMap_hWnd(window);
    if (block != nullptr) {
        block->userValue = value;
    }
}

const MessageHook::MessageTable* MessageHook::table(WindowHandle window, std::int32_t when) const
{
    if (!registry_) {
        return nullptr;
    }
    const std::string k = key(window);
    for (const auto& [entryKey, block] : *registry_) {
        if (entryKey == k) {
            return when == MSG_BEFORE ? &block->before : &block->after;
        }
    }
    return nullptr;
}

void MessageHook::zAddMsg(std::int32_t message, MessageTable& table)
{
    if (message == ALL_MESSAGES) {
        table.count = ALL_MESSAGES;
        return;
    }
    // A table that already takes every message takes this one too; storing it
    // would turn "all" into a one-entry table.
    if (table.count == ALL_MESSAGES) {
        return;
    }
    if (table.count >= MSG_ENTRIES) {
        zReport("zAddMsg",
                "Message table overflow. Either increase the value of Const MSG_ENTRIES or use ALL_MESSAGES instead "
                "of specific message values");
        return;
    }
    const auto msg = static_cast<std::uint32_t>(message);
    for (int i = 0; i < table.count; ++i) {
        if (table.entries[static_cast<std::size_t>(i)] == 0) {
            table.entries[static_cast<std::size_t>(i)] = msg;
            return;
        }
        if (table.entries[static_cast<std::size_t>(i)] == msg) {
            return;
        }
    }
    table.entries[static_cast<std::size_t>(table.count)] = msg;
    ++table.count;
}

void MessageHook::zDelMsg(std::int32_t message, MessageTable& table)
{
    if (message == ALL_MESSAGES) {
        table.count = 0;
        return;
    }
    const auto msg = static_cast<std::uint32_t>(message);
    for (int i = 0; i < table.count; ++i) {
        if (table.entries[static_cast<std::size_t>(i)] == msg) {
            table.entries[static_cast<std::size_t>(i)] = 0;
            return;
        }
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", msg);
    zReport("zDelMsg", std::string("Message &H") + hex + " not found in table");
}

HookBlock* MessageHook::zMap_hWnd(WindowHandle window)
{
    if (!registry_) {
        zReport("zMap_hWnd", "Subclassing hasn't been started");
        return nullptr;
    }
    const std::string k = key(window);
    for (const auto& [entryKey, block] : *registry_) {
        if (entryKey == k) {
            return block;
        }
    }
    zReport("zMap_hWnd", "Window handle isn't subclassed");
    return nullptr;
}

const HookCallback* MessageHook::zFindCallback(HookOwner& owner, std::int32_t ordinal) const
{
    const auto callbacks = owner.hookCallbacks();
    if (ordinal < 1 || static_cast<std::size_t>(ordinal) > callbacks.size()) {
        return nullptr;
    }
    const HookCallback& callback = callbacks[callbacks.size() - static_cast<std::size_t>(ordinal)];
    return callback ? &callback : nullptr;
}

void MessageHook::zReport(const std::string& routine, const std::string& message) const
{
    eventLog().error(ownerClass_ + "." + routine + ": " + message);
    messageBoxes().show("Error in " + ownerClass_ + "." + routine, message + ".", MessageIcon::Warning);
}

bool MessageHook::hookProc(HookBlock& block, WindowMessage& m)
{
    // Callbacks may unhook or even destroy the window; watch both.
    const QPointer<HookBlock> alive(&block);
    const QPointer<MessageWindow> window = block.window;
    if (window == nullptr) {
        return false;
    }
    std::intptr_t result = 0;
    bool handled = false;
    if (block.before.matches(m.message) && block.callback != nullptr) {
        (*block.callback)(true, handled, result, block.hWnd, m.message, m.wParam, m.lParam, block.userValue);
        if (handled || alive == nullptr || window == nullptr) {
            m.result = result;
            return true;
        }
    }
    ++block.nesting;
    result = window->windowProc(m.message, m.wParam, m.lParam);
    m.result = result;
    if (alive == nullptr) {
        return true;
    }
    --block.nesting;
    if (block.nesting == 0 && block.released) {
        removeHook(block);
        return true;
    }
    if (window != nullptr && block.after.matches(m.message) && block.callback != nullptr) {
        (*block.callback)(false, handled, result, block.hWnd, m.message, m.wParam, m.lParam, block.userValue);
        m.result = result;
    }
    return true;
}

void MessageHook::removeHook(HookBlock& block)
{
    QObject::disconnect(block.destroyedConnection);
    if (block.window != nullptr) {
        block.window->removeEventFilter(&block);
    }
    if (registry_) {
        std::erase_if(*registry_, [&](const auto& entry) { return entry.second == &block; });
    }
    // Freed last: this may run inside the block's own event filter, which
    // returns without touching it again.
    std::erase_if(blocks_, [&](const auto& owned) { return owned.get() == &block; });
}

void MessageHook::windowDestroyed(HookBlock& block)
{
    // A destroyed window completes a pending release, and a window destroyed
    // while still hooked must not leave its handle in the registry.
    removeHook(block);
}

}  // namespace quillon
