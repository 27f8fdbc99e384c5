#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

namespace quillon {

// The capture engine's side of the hand-over: filled buffers that wait on the UI thread
// until they are handed to GotData. An engine without such a queue hands every buffer over
// as it comes; the defaults describe that one.
class BufferHandOver {
public:
    virtual ~BufferHandOver() = default;
    // Bytes of one capture buffer; 0 when unknown.
    [[nodiscard]] virtual std::int32_t BufferSize() const { return 0; }
    // Filled buffers the sound server gathers before handing them over together (1 or more),
    // and how long filled buffers may wait for a tick before they wake the UI thread
    // themselves (0: never wait). Both are taken when the next recording starts.
    virtual void DeliveryBuffers(std::int32_t /*count*/) {}
    virtual void NotifyLatency(std::chrono::milliseconds /*latency*/) {}
    // Filled buffers (and the notifications between them) waiting for DeliverWaiting.
    [[nodiscard]] virtual std::size_t WaitingCount() const { return 0; }
    // Hands at most `limit` of them over, in order; also tells the waiting ones that a tick
    // came, even with a limit of 0.
    virtual void DeliverWaiting(std::size_t /*limit*/) {}
};

// Which captured buffer is handed over when, for the window and for `quillon-cli record`.
//
// - Nobody watching (the command line): the sound server hands four buffers over at a time
//   (232 ms at 44100 Hz stereo), and each goes to GotData as it arrives.
// - A display watching (the window): where a buffer lasts at most 100 ms the server hands
//   over two at a time, which halves the capture thread's wake-ups; at lower rates one
//   buffer is already a long wait for the display and comes on its own.
// - Filled buffers do not wake the UI thread: they wait for the display's tick, which hands
//   them over before it draws. The tick takes one at a time, at least half a buffer's time
//   after the last, so the display draws every buffer and moves at an even pace; when more
//   than two wait (the thread fell behind) it takes them all.
// - Every tick, also one that hands nothing over, tells the waiting buffers it is there.
//   When no tick came for 100 ms (a stalled UI thread) the next buffer wakes the thread,
//   with all that waits before it.
// - A display out of sight draws nothing: its tick then only hands over everything that
//   waits, a little more often than the latency, so the buffers still never wake the thread.
// - Stopping hands over everything still waiting before the device is closed: it belongs
//   to the recording.
class DeliveryPacing {
public:
    enum class Audience { Display, Nobody };

    // Longer than a few ticks: buffers wake the UI thread themselves only when ticks stop.
    static constexpr std::chrono::milliseconds kDisplayLatency{100};
    // The tick of a display out of sight, which only hands over.
    static constexpr std::chrono::milliseconds kUnseenTick{90};
    // A buffer lasting at most this long is handed over in pairs to a display.
    static constexpr std::int64_t kPairedBufferMs = 100;
    static constexpr std::int32_t kDisplayBuffers = 2;
    static constexpr std::int32_t kUnwatchedBuffers = 4;

    explicit DeliveryPacing(Audience audience) : audience_(audience) {}

    // Before a recording of `bytesPerSecond` (none: the rate is not usable) starts.
    void Prepare(BufferHandOver& engine, std::optional<std::int32_t> bytesPerSecond) const;
    // The display's tick, during a recording of `bytesPerSecond`.
    void Tick(BufferHandOver& engine, std::int32_t bytesPerSecond, std::chrono::steady_clock::time_point now);
    // Stopping: everything that waits.
    static void HandOverAll(BufferHandOver& engine);

    // The most audio the sound server may hold back at once, in bytes.
    [[nodiscard]] std::int32_t HandOverBytes(const BufferHandOver& engine,
                                             std::optional<std::int32_t> bytesPerSecond) const;

    // The rules as numbers. Buffers per hand-over for buffers of `bufferBytes`:
    [[nodiscard]] static std::int32_t BuffersPerHandOver(Audience audience, std::int32_t bufferBytes,
                                                         std::optional<std::int32_t> bytesPerSecond);
    // How many of `waiting` buffers a tick hands over, `sinceLast` after the last hand-over.
    [[nodiscard]] static std::size_t TickLimit(std::size_t waiting, std::chrono::steady_clock::duration sinceLast,
                                               std::chrono::steady_clock::duration halfBuffer);

    static constexpr std::size_t kAll = std::numeric_limits<std::size_t>::max();

private:
    Audience audience_;
    std::chrono::steady_clock::time_point lastHandOver_{};
};

}  // namespace quillon
