#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "capture/MessageWindow.h"

namespace quillon {

// The owner's callback: before is true ahead of the window's own procedure;
// setting handled skips that procedure and returns result.
using HookCallback =
    std::function<void(bool bBefore, bool& bHandled, std::intptr_t& lReturn, WindowHandle hWnd, std::uint32_t uMsg,
                       std::uintptr_t wParam, std::intptr_t lParam, std::int32_t& lParamUser)>;

// An object that receives hooked messages. Its callbacks are found by ordinal,
// counted back from the last one (ordinal 1 is the last).
class HookOwner {
public:
    virtual ~HookOwner() = default;
    [[nodiscard]] virtual std::span<const HookCallback> hookCallbacks() const = 0;
};

class HookBlock;

// Hooks message windows of the UI thread: for the messages asked for, the
// owner's callback runs before and/or after the window's own procedure.
// Failures are reported through zReport (system log and a message box).
class MessageHook {
public:
    static constexpr std::int32_t ALL_MESSAGES = -1;
    static constexpr int MSG_ENTRIES = 32;
    static constexpr std::int32_t MSG_BEFORE = 1;
    static constexpr std::int32_t MSG_AFTER = 2;

    // `ownerClass` prefixes every report ("WaveInRecorder.sc_Subclass: ...").
    MessageHook(std::string ownerClass, HookOwner& owner);
    ~MessageHook();
    MessageHook(const MessageHook&) = delete;
    MessageHook& operator=(const MessageHook&) = delete;

    // `owner` nullptr means the owner given at construction. There is no
    // development environment to protect here, so `safety` changes nothing.
    bool sc_Subclass(WindowHandle window, std::int32_t userValue = 0, std::int32_t ordinal = 1,
                     HookOwner* owner = nullptr, bool safety = true);
    void sc_StopAll();
    void sc_UnSubclass(WindowHandle window);
    void sc_HookMessage(WindowHandle window, std::int32_t message, std::int32_t when);
    void sc_UnhookMessage(WindowHandle window, std::int32_t message, std::int32_t when);
    std::intptr_t sc_CallPrevious(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                  std::intptr_t lParam);
    std::int32_t sc_UserValue(WindowHandle window);
    void sc_UserValue(WindowHandle window, std::int32_t value);

    // For tests: the registry exists, and the number of blocks still installed
    // (released ones count until their removal completes).
    [[nodiscard]] bool registryExists() const { return registry_.has_value(); }
    [[nodiscard]] std::size_t installedBlocks() const { return blocks_.size(); }

    struct MessageTable {
        std::int32_t count = 0;
        std::array<std::uint32_t, MSG_ENTRIES> entries{};
        [[nodiscard]] bool matches(std::uint32_t message) const;
    };
    // The window's before (MSG_BEFORE) or after table; nullptr when not hooked. For tests.
    [[nodiscard]] const MessageTable* table(WindowHandle window, std::int32_t when) const;

private:
    friend class HookBlock;

    void zAddMsg(std::int32_t message, MessageTable& table);
    void zDelMsg(std::int32_t message, MessageTable& table);
    HookBlock* zMap_hWnd(WindowHandle window);
    const HookCallback* zFindCallback(HookOwner& owner, std::int32_t ordinal) const;
    void zReport(const std::string& routine, const std::string& message) const;

    bool hookProc(HookBlock& block, WindowMessage& m);
    void removeHook(HookBlock& block);
    void windowDestroyed(HookBlock& block);
    static std::string key(WindowHandle window);

    std::string ownerClass_;
    HookOwner& owner_;
    // Keyed by the window handle in decimal followed by "h", in insertion order.
    std::optional<std::vector<std::pair<std::string, HookBlock*>>> registry_;
    std::vector<std::unique_ptr<HookBlock>> blocks_;
};

}  // namespace quillon
