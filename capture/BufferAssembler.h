#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "capture/WaveIn.h"

namespace quillon {

// Leaves new elements uninitialised, so memory that is reserved but never used
// is never touched (the backlog: seconds of audio that are rarely needed).
template <typename T>
struct UninitializedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <typename U>
    UninitializedAllocator(const UninitializedAllocator<U>& /*other*/) noexcept  // NOLINT(google-explicit-constructor)
    {
    }
    template <typename U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// Turns captured bytes, arriving in chunks of any size, into filled capture
// buffers handed back in the order they were queued. Bytes that arrive while no
// buffer is queued wait in a bounded backlog, so a UI thread that is slow to
// queue a buffer again loses nothing; only a full backlog drops (and counts) data.
// Where bytes were dropped, the buffer in progress is handed back early and the
// next one carries the lost length in droppedBefore, so the consumer can put
// silence exactly where the audio went missing.
// Not thread-safe: the owning layer calls it under its own lock.
class BufferAssembler {
public:
    using DoneFn = std::function<void(WaveHeader&)>;

    // `blockAlign` keeps whole sample frames together when the backlog is full.
    BufferAssembler(std::size_t backlogCapacity, std::size_t blockAlign, DoneFn done);

    // Queues an empty buffer (its byte count is reset) and fills it from the backlog.
    void add(WaveHeader& header);
    // Appends captured bytes; nullptr stands for `size` bytes of silence.
    void write(const std::byte* data, std::size_t size);
    // Counts `size` bytes that the source lost right here (whole frames): the
    // next buffer carries them in droppedBefore.
    void lose(std::size_t size);
    // Hands back the partly filled front buffer, if it holds anything.
    void finishCurrent();
    // Hands back every queued buffer and forgets the backlog.
    void returnAll();

    [[nodiscard]] std::size_t queued() const { return queue_.size(); }
    [[nodiscard]] bool isQueued(const WaveHeader& header) const;
    [[nodiscard]] std::size_t backlog() const { return backlogSize_; }
    [[nodiscard]] std::uint64_t received() const { return received_; }
    [[nodiscard]] std::uint64_t dropped() const { return dropped_; }
    // Dropped stretches not yet handed to a buffer.
    [[nodiscard]] std::size_t pendingGaps() const { return gaps_.size(); }

private:
    // `bytes` lost right after the `position`th byte taken into the stream.
    struct Gap {
        std::uint64_t position;
        std::uint64_t bytes;
    };

    // Copies into queued buffers, completing each one that fills and marking the
    // gaps on the way; returns bytes taken.
    std::size_t fill(const std::byte* data, std::size_t size);
    // Marks a gap that lies at the fill position on the front buffer; false when
    // no buffer is queued to carry it.
    bool markDueGap();
    void drainBacklog();
    void complete();

    std::deque<WaveHeader*> queue_;
    std::deque<Gap> gaps_;
    std::uint64_t taken_ = 0;   // bytes taken into the stream: buffers and backlog
    std::uint64_t filled_ = 0;  // of those, bytes copied into buffers
    std::vector<std::byte, UninitializedAllocator<std::byte>> backlog_;  // ring
    std::size_t backlogStart_ = 0;
    std::size_t backlogSize_ = 0;
    std::size_t blockAlign_;
    std::uint64_t received_ = 0;
    std::uint64_t dropped_ = 0;
    DoneFn done_;
};

}  // namespace quillon
