#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/MessageHook.h"
#include "tests/capture/CaptureTestSupport.h"
#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

constexpr std::uint32_t kData = 0x3C0;
constexpr std::uint32_t kOther = 0x0F;

// A window whose own procedure records what reaches it.
class ScriptWindow final : public MessageWindow {
public:
    ScriptWindow() : MessageWindow("TEST_WINDOW") {}
    std::intptr_t windowProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        received.push_back(message);
        if (onMessage) {
            onMessage(message, wParam, lParam);
        }
        return procResult;
    }
    std::vector<std::uint32_t> received;
    std::intptr_t procResult = 0;
    std::function<void(std::uint32_t, std::uintptr_t, std::intptr_t)> onMessage;
};

struct Call {
    bool before;
    std::uint32_t message;
    std::intptr_t result;
    std::int32_t userValue;
};

class Owner final : public HookOwner {
public:
    Owner()
    {
        // Two methods: ordinal 1 is the last (the recording one), ordinal 2 the first (unused).
        callbacks_.emplace_back();
        callbacks_.emplace_back([this](bool before, bool& handled, std::intptr_t& result, WindowHandle /*hWnd*/,
                                       std::uint32_t message, std::uintptr_t /*wParam*/, std::intptr_t /*lParam*/,
                                       std::int32_t& userValue) {
            calls.push_back({before, message, result, userValue});
            if (before && handleBefore) {
                handled = true;
                result = 7;
            }
            if (onCall) {
                onCall(userValue);
            }
        });
    }
    std::span<const HookCallback> hookCallbacks() const override { return callbacks_; }

    std::vector<Call> calls;
    bool handleBefore = false;
    std::function<void(std::int32_t&)> onCall;

private:
    std::vector<HookCallback> callbacks_;
};

class MessageHookTest : public ::testing::Test {
protected:
    test::RecordingMessageBoxes boxes;
    test::RecordingEventLog log;
    Owner owner;
    MessageHook hook{"WaveInRecorder", owner};
    std::unique_ptr<ScriptWindow> window = std::make_unique<ScriptWindow>();
    WindowHandle h = window->handle();

    void expectOneReport(const std::string& routine, const std::string& message)
    {
        ASSERT_EQ(log.entries.size(), 1U);
        EXPECT_EQ(log.entries[0], "WaveInRecorder." + routine + ": " + message);
        ASSERT_EQ(boxes.messages.size(), 1U);
        EXPECT_EQ(boxes.messages[0].title, "Error in WaveInRecorder." + routine);
        EXPECT_EQ(boxes.messages[0].text, message + ".");
        EXPECT_EQ(boxes.messages[0].icon, MessageIcon::Warning);
    }
};

TEST_F(MessageHookTest, AfterHook_callsOwnerAfterThePreviousProcedureWithItsResult_otherMessagesOnlyReachTheWindow)
{
    ASSERT_TRUE(hook.sc_Subclass(h, 5, 1, &owner, true));
    hook.sc_HookMessage(h, static_cast<std::int32_t>(kData), MessageHook::MSG_AFTER);
    window->procResult = 42;
    window->onMessage = [&](std::uint32_t, std::uintptr_t, std::intptr_t) { EXPECT_TRUE(owner.calls.empty()); };

    EXPECT_EQ(MessageWindow::sendMessage(h, kData, 1, 2), 42);
    window->onMessage = nullptr;
    ASSERT_EQ(owner.calls.size(), 1U);
    EXPECT_FALSE(owner.calls[0].before);
    EXPECT_EQ(owner.calls[0].result, 42);
    EXPECT_EQ(owner.calls[0].userValue, 5);

    MessageWindow::sendMessage(h, kOther, 0, 0);
    EXPECT_EQ(owner.calls.size(), 1U);
    EXPECT_EQ(window->received, (std::vector<std::uint32_t>{kData, kOther}));
    EXPECT_TRUE(log.entries.empty());
}

TEST_F(MessageHookTest, BeforeHook_thatHandlesTheMessage_skipsTheWindowAndReturnsItsResult)
{
    ASSERT_TRUE(hook.sc_Subclass(h));
    hook.sc_HookMessage(h, static_cast<std::int32_t>(kData), MessageHook::MSG_BEFORE | MessageHook::MSG_AFTER);
    owner.handleBefore = true;
    EXPECT_EQ(MessageWindow::sendMessage(h, kData, 0, 0), 7);
    EXPECT_TRUE(window->received.empty());
    ASSERT_EQ(owner.calls.size(), 1U);
    EXPECT_TRUE(owner.calls[0].before);
}

TEST_F(MessageHookTest, AllMessages_reachTheCallback_andAddingOneMessageKeepsAll)
{
    ASSERT_TRUE(hook.sc_Subclass(h));
    hook.sc_HookMessage(h, MessageHook::ALL_MESSAGES, MessageHook::MSG_BEFORE);
    hook.sc_HookMessage(h, static_cast<std::int32_t>(kData), MessageHook::MSG_BEFORE);
    EXPECT_EQ(hook.table(h, MessageHook::MSG_BEFORE)->count, MessageHook::ALL_MESSAGES);
    MessageWindow::sendMessage(h, kOther, 0, 0);
    MessageWindow::sendMessage(h, 0x1234, 0, 0);
    EXPECT_EQ(owner.calls.size(), 2U);
}

TEST_F(MessageHookTest, Table_reusesFreedEntries_ignoresDuplicates_andOverflowsOnce32HaveBeenUsed)
{
    ASSERT_TRUE(hook.sc_Subclass(h));
    for (std::int32_t m = 1; m <= 10; ++m) {
        hook.sc_HookMessage(h, m, MessageHook::MSG_AFTER);
    }
    const auto* table = hook.table(h, MessageHook::MSG_AFTER);
    ASSERT_NE(table, nullptr);
    hook.sc_HookMessage(h, 5, MessageHook::MSG_AFTER);  // already there
    EXPECT_EQ(table->count, 10);

    // A freed entry is taken by the next new message; the count does not grow.
    hook.sc_UnhookMessage(h, 7, MessageHook::MSG_AFTER);
    EXPECT_EQ(table->count, 10);
    EXPECT_FALSE(table->matches(7));
    hook.sc_HookMessage(h, 100, MessageHook::MSG_AFTER);
    EXPECT_EQ(table->count, 10);
    EXPECT_EQ(table->entries[6], 100U);

    for (std::int32_t m = 11; m <= 32; ++m) {
        hook.sc_HookMessage(h, m, MessageHook::MSG_AFTER);
    }
    EXPECT_EQ(table->count, 32);
    EXPECT_TRUE(log.entries.empty());

    // Once 32 entries have been used, even a freed one does not make room.
    hook.sc_UnhookMessage(h, 20, MessageHook::MSG_AFTER);
    hook.sc_HookMessage(h, 101, MessageHook::MSG_AFTER);
    expectOneReport("zAddMsg",
                    "Message table overflow. Either increase the value of Const MSG_ENTRIES or use ALL_MESSAGES "
                    "instead of specific message values");
    EXPECT_EQ(table->count, 32);
    EXPECT_FALSE(table->matches(101));
    EXPECT_TRUE(table->matches(100));
    EXPECT_TRUE(table->matches(32));
}

TEST_F(MessageHookTest, RemovingAMessageNotInTheTable_reportsItsNumberInUpperCaseHex)
{
    ASSERT_TRUE(hook.sc_Subclass(h));
    hook.sc_UnhookMessage(h, static_cast<std::int32_t>(kData), MessageHook::MSG_AFTER);
    expectOneReport("zDelMsg", "Message &H3C0 not found in table");
}

TEST_F(MessageHookTest, SubclassingTwice_reportsAndKeepsTheFirstHook)
{
    ASSERT_TRUE(hook.sc_Subclass(h, 1));
    hook.sc_HookMessage(h, static_cast<std::int32_t>(kData), MessageHook::MSG_AFTER);
    EXPECT_FALSE(hook.sc_Subclass(h, 2));
    expectOneReport("sc_Subclass", "Window handle is already subclassed");
    MessageWindow::sendMessage(h, kData, 0, 0);
    ASSERT_EQ(owner.calls.size(), 1U);
    EXPECT_EQ(owner.calls[0].userValue, 1);
    EXPECT_EQ(hook.installedBlocks(), 1U);
}

TEST_F(MessageHookTest, SubclassFailures_reportAndHookNothing)
{
    const WindowHandle gone = [] {
        MessageWindow temporary("GONE");
        return temporary.handle();
    }();
    EXPECT_FALSE(hook.sc_Subclass(gone));
    expectOneReport("sc_Subclass", "Invalid window handle");
    EXPECT_FALSE(hook.registryExists());

    log.entries.clear();
    boxes.messages.clear();
    EXPECT_FALSE(hook.sc_Subclass(h, 0, 3));  // the owner has two methods
    expectOneReport("sc_Subclass", "Callback method not found");
    EXPECT_FALSE(hook.sc_Subclass(h, 0, 2));  // an empty slot is no method either
    EXPECT_EQ(hook.installedBlocks(), 0U);
}

TEST_F(MessageHookTest, WindowOfAnotherThread_isRefused)
{
    QThread other;  // never started: the window only belongs to it
    window->moveToThread(&other);
    EXPECT_FALSE(hook.sc_Subclass(h));
    expectOneReport("sc_Subclass", "Window handle belongs to another process");
    EXPECT_EQ(hook.installedBlocks(), 0U);
}

TEST_F(MessageHookTest, LookupsBeforeAnyHookAndForUnknownWindows_report)
{
    hook.sc_UnSubclass(h);
    expectOneReport("sc_UnSubclass", "Window handle isn't subclassed");

    log.entries.clear();
    boxes.messages.clear();
    hook.sc_HookMessage(h, 1, MessageHook::MSG_AFTER);
    expectOneReport("zMap_hWnd", "Subclassing hasn't been started");

    ScriptWindow other;
    ASSERT_TRUE(hook.sc_Subclass(other.handle()));
    log.entries.clear();
    boxes.messages.clear();
    EXPECT_EQ(hook.sc_CallPrevious(h, kOther, 0, 0), 0);
    expectOneReport("zMap_hWnd", "Window handle isn't subclassed");
}

TEST_F(MessageHookTest, UserValue_isReadWrittenAndPassedByReference)
{
    ASSERT_TRUE(hook.sc_Subclass(h, 10));
    hook.sc_HookMessage(h, static_cast<std::int32_t>(kData), MessageHook::MSG_AFTER);
    EXPECT_EQ(hook.sc_UserValue(h), 10);
    hook.sc_UserValue(h, 11);
    owner.onCall = [](std::int32_t& userValue) { userValue += 1; };
    MessageWindow::sendMessage(h, kData, 0, 0);
    EXPECT_EQ(owner.calls.at(0).userValue, 11);
    EXPECT_EQ(hook.sc_UserValue(h), 12);
    window->procResult = 9;
    EXPECT_EQ(hook.sc_CallPrevious(h, kOther, 0, 0), 9);
}

TEST_F(MessageHookTest, UnSubclass_stopsCallbacksEvenForMessagesAlreadyPosted_andCompletesAtTheNextMessage)
{
    ASSERT_TRUE(hook.sc_Subclass(h));
    hook.sc_HookMessage(h, static_cast<std::int32_t>(kData), MessageHook::MSG_BEFORE | MessageHook::MSG_AFTER);
    ASSERT_TRUE(MessageWindow::postMessage(h, kData, 0, 0));
    hook.sc_UnSubclass(h);
    EXPECT_EQ(hook.installedBlocks(), 1U);  // still in place until a message passes

    test::deliverPosted();
    EXPECT_TRUE(owner.calls.empty());
    EXPECT_EQ(window->received, std::vector<std::uint32_t>{kData});
    EXPECT_EQ(hook.installedBlocks(), 0U);

    // Fully released: the window can be hooked afresh.
    EXPECT_TRUE(hook.sc_Subclass(h));
    EXPECT_TRUE(log.entries.empty());
}

TEST_F(MessageHookTest, ReleaseDuringANestedCall_waitsForTheOutermostCallToReturn)
{
    ASSERT_TRUE(hook.sc_Subclass(h));
    hook.sc_HookMessage(h, static_cast<std::int32_t>(kData), MessageHook::MSG_AFTER);
    std::size_t blocksDuringNestedCall = 0;
    window->onMessage = [&](std::uint32_t message, std::uintptr_t, std::intptr_t) {
        if (message == kData) {
            hook.sc_UnSubclass(h);
            MessageWindow::sendMessage(h, kOther, 0, 0);  // nested: goes through the hook again
            blocksDuringNestedCall = hook.installedBlocks();
        }
    };
    MessageWindow::sendMessage(h, kData, 0, 0);
    EXPECT_EQ(blocksDuringNestedCall, 1U);
    EXPECT_EQ(hook.installedBlocks(), 0U);
    EXPECT_TRUE(owner.calls.empty());  // no after-call once released
    EXPECT_EQ(window->received, (std::vector<std::uint32_t>{kData, kOther}));

    window->onMessage = nullptr;
    MessageWindow::sendMessage(h, kData, 0, 0);
    EXPECT_TRUE(owner.calls.empty());
    EXPECT_EQ(window->received.size(), 3U);
}

TEST_F(MessageHookTest, StopAll_releasesEveryWindowAndDropsTheRegistry)
{
    ScriptWindow second;
    ASSERT_TRUE(hook.sc_Subclass(h));
    ASSERT_TRUE(hook.sc_Subclass(second.handle()));
    hook.sc_HookMessage(h, MessageHook::ALL_MESSAGES, MessageHook::MSG_AFTER);
    hook.sc_HookMessage(second.handle(), MessageHook::ALL_MESSAGES, MessageHook::MSG_AFTER);
    hook.sc_StopAll();
    EXPECT_FALSE(hook.registryExists());
    MessageWindow::sendMessage(h, kData, 0, 0);
    MessageWindow::sendMessage(second.handle(), kData, 0, 0);
    EXPECT_TRUE(owner.calls.empty());
    EXPECT_EQ(hook.installedBlocks(), 0U);
}

TEST_F(MessageHookTest, DestroyingAHookedWindow_freesItsBlockAndItsRegistryEntry)
{
    ASSERT_TRUE(hook.sc_Subclass(h));
    ASSERT_TRUE(MessageWindow::postMessage(h, kData, 0, 0));
    window.reset();
    EXPECT_EQ(hook.installedBlocks(), 0U);
    EXPECT_FALSE(MessageWindow::postMessage(h, kData, 0, 0));
    test::deliverPosted();  // the message posted before is gone with the window
    EXPECT_EQ(hook.table(h, MessageHook::MSG_AFTER), nullptr);
}

// Messages posted under a latency wait for deliverWaiting(), unless the calls stop coming.
class MessageWindowLatency : public ::testing::Test {
protected:
    std::unique_ptr<ScriptWindow> window = std::make_unique<ScriptWindow>();
    WindowHandle h = window->handle();
    std::vector<std::uintptr_t> order;

    MessageWindowLatency()
    {
        window->onMessage = [this](std::uint32_t, std::uintptr_t wParam, std::intptr_t) { order.push_back(wParam); };
    }
    void postFromAnotherThread(std::uintptr_t first, std::uintptr_t last)
    {
        std::unique_ptr<QThread> poster(QThread::create([this, first, last] {
            for (std::uintptr_t i = first; i <= last; ++i) {
                MessageWindow::postMessage(h, kData, i, 0);
            }
        }));
        poster->start();
        poster->wait();
    }
};

TEST_F(MessageWindowLatency, WaitingMessagesComeOnlyWithDeliverWaiting_inOrder_andThroughTheHook)
{
    test::RecordingMessageBoxes boxes;
    Owner owner;
    MessageHook hook{"WaveInRecorder", owner};
    ASSERT_TRUE(hook.sc_Subclass(h, 0, 1, &owner, true));
    hook.sc_HookMessage(h, static_cast<std::int32_t>(kData), MessageHook::MSG_AFTER);
    window->setPostLatency(std::chrono::hours(1));

    postFromAnotherThread(1, 3);
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(order.empty());
    window->deliverWaiting();
    EXPECT_EQ(order, (std::vector<std::uintptr_t>{1, 2, 3}));
    EXPECT_EQ(owner.calls.size(), 3U);
    window->deliverWaiting();
    EXPECT_EQ(order.size(), 3U);
    hook.sc_UnSubclass(h);
}

TEST_F(MessageWindowLatency, APostAfterTheLatencyWithoutDeliveryWakesTheWindowWithEverythingWaiting)
{
    window->setPostLatency(std::chrono::milliseconds(40));
    postFromAnotherThread(1, 1);
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(order.empty());
    QThread::msleep(80);
    postFromAnotherThread(2, 3);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(order, (std::vector<std::uintptr_t>{1, 2, 3}));

    // Delivery just happened: the next post waits again.
    postFromAnotherThread(4, 4);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(order.size(), 3U);

    // Back to no latency: what waits is delivered by the event loop.
    window->setPostLatency(std::chrono::milliseconds(0));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(order, (std::vector<std::uintptr_t>{1, 2, 3, 4}));
}

// Its procedure runs a copy of the handler and touches nothing of the window after
// it, as a procedure that may destroy its own window must.
class SelfDestroyingWindow final : public MessageWindow {
public:
    SelfDestroyingWindow() : MessageWindow("TEST_WINDOW") {}
    std::intptr_t windowProc(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override
    {
        const auto handler = onMessage;
        handler(message, wParam, lParam);
        return 0;
    }
    std::function<void(std::uint32_t, std::uintptr_t, std::intptr_t)> onMessage;
};

TEST(MessageWindowLatencyDestroy, AProcedureThatDestroysItsWindowEndsTheDelivery)
{
    auto window = std::make_unique<SelfDestroyingWindow>();
    const WindowHandle h = window->handle();
    std::vector<std::uintptr_t> order;
    window->setPostLatency(std::chrono::hours(1));
    window->onMessage = [&](std::uint32_t, std::uintptr_t wParam, std::intptr_t) {
        order.push_back(wParam);
        window.reset();
    };
    for (std::uintptr_t i = 1; i <= 3; ++i) {
        ASSERT_TRUE(MessageWindow::postMessage(h, kData, i, 0));
    }
    SelfDestroyingWindow* raw = window.get();
    raw->deliverWaiting();
    EXPECT_EQ(order, (std::vector<std::uintptr_t>{1}));
    EXPECT_EQ(window, nullptr);
    EXPECT_FALSE(MessageWindow::postMessage(h, kData, 4, 0));
}

}  // namespace
}  // namespace quillon
