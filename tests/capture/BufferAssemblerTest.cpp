#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <random>
#include <vector>

#include "capture/BufferAssembler.h"

namespace quillon {
namespace {

struct Slot {
    WaveHeader header;
    std::vector<std::int16_t> samples;
};

class Ring {
public:
    Ring(std::size_t count, std::uint32_t bytes) : buffers(count)
    {
        for (std::size_t i = 0; i < count; ++i) {
            buffers[i].samples.assign(bytes / 2, -1);
            buffers[i].header.lpData = reinterpret_cast<std::byte*>(buffers[i].samples.data());
            buffers[i].header.dwBufferLength = bytes;
            buffers[i].header.dwUser = i;
        }
    }
    std::vector<Slot> buffers;
};

std::vector<std::int16_t> counting(std::size_t from, std::size_t count)
{
    std::vector<std::int16_t> v(count);
    for (std::size_t i = 0; i < count; ++i) {
        v[i] = static_cast<std::int16_t>((from + i) & 0x7FFF);
    }
    return v;
}

// A long counting sequence goes through a 5-slot ring in random chunk sizes
// while the consumer hands buffers back at random moments; with enough backlog
// every buffer must continue the sequence exactly and nothing may be dropped.
TEST(BufferAssembler, RandomChunksAndLateRequeues_deliverTheSequenceInOrderWithoutLoss)
{
    std::mt19937 rng(1234);
    Ring ring(5, 1024);
    std::deque<WaveHeader*> done;
    BufferAssembler assembler(64 * 1024, 4, [&](WaveHeader& h) { done.push_back(&h); });
    for (auto& slot : ring.buffers) {
        assembler.add(slot.header);
    }
    std::size_t written = 0;
    std::size_t checked = 0;
    const std::size_t total = 400000;
    while (true) {
        if (written < total) {
            const std::size_t n =
                std::min<std::size_t>(total - written, 2 * std::uniform_int_distribution<std::size_t>(1, 700)(rng));
            const auto chunk = counting(written, n);
            assembler.write(reinterpret_cast<const std::byte*>(chunk.data()), n * 2);
            written += n;
        } else if (done.empty()) {
            break;
        }
        // The consumer is sometimes slow: it takes 0 to 3 buffers per round.
        int take = std::uniform_int_distribution<>(0, 3)(rng);
        while (take-- > 0 && !done.empty()) {
            WaveHeader* h = done.front();
            done.pop_front();
            ASSERT_EQ(h->dwBytesRecorded, 1024U);
            ASSERT_NE(h->dwFlags & WHDR_DONE, 0U);
            const auto* samples = reinterpret_cast<const std::int16_t*>(h->lpData);
            const auto expected = counting(checked, 512);
            ASSERT_EQ(std::memcmp(samples, expected.data(), 1024), 0) << "at sample " << checked;
            checked += 512;
            assembler.add(*h);
        }
    }
    EXPECT_EQ(assembler.dropped(), 0U);
    EXPECT_EQ(assembler.received(), total * 2);
    // Only the tail that does not fill a buffer is left over.
    EXPECT_EQ(checked, total / 512 * 512);
    EXPECT_EQ(assembler.backlog(), 0U);
}

TEST(BufferAssembler, FullBacklog_dropsWholeFramesCountsThemAndMarksWhereTheyWere)
{
    Ring ring(2, 16);
    std::vector<WaveHeader*> delivered;
    BufferAssembler assembler(10, 4, [&](WaveHeader& h) { delivered.push_back(&h); });
    // No buffer queued: the backlog takes 8 bytes (two 4-byte frames of a capacity of 10).
    const auto data = counting(0, 12);
    assembler.write(reinterpret_cast<const std::byte*>(data.data()), 24);
    EXPECT_EQ(assembler.backlog(), 8U);
    EXPECT_EQ(assembler.dropped(), 16U);
    EXPECT_EQ(assembler.pendingGaps(), 1U);

    // The audio before the loss comes back on its own, short of a full buffer...
    assembler.add(ring.buffers[0].header);
    ASSERT_EQ(delivered.size(), 1U);
    EXPECT_EQ(ring.buffers[0].header.dwBytesRecorded, 8U);
    EXPECT_EQ(ring.buffers[0].header.droppedBefore, 0U);
    EXPECT_EQ(ring.buffers[0].samples[0], 0);
    EXPECT_EQ(ring.buffers[0].samples[3], 3);

    // ...and the next buffer starts with the loss.
    assembler.add(ring.buffers[1].header);
    EXPECT_EQ(assembler.pendingGaps(), 0U);
    const auto more = counting(12, 8);
    assembler.write(reinterpret_cast<const std::byte*>(more.data()), 16);
    ASSERT_EQ(delivered.size(), 2U);
    EXPECT_EQ(ring.buffers[1].header.droppedBefore, 16U);
    EXPECT_EQ(ring.buffers[1].samples, more);

    // A requeued buffer forgets its old mark.
    assembler.add(ring.buffers[1].header);
    EXPECT_EQ(ring.buffers[1].header.droppedBefore, 0U);
}

// What a consumer writes: each buffer's audio, preceded by silence for the bytes lost before it.
// A stalling consumer must still get a stream in which every captured sample keeps its
// place in time: sample i is either sample i of the capture or silence where the capture
// lost it, and the stream is exactly as long as the capture.
TEST(BufferAssembler, StallingConsumer_getsEverySampleAtItsTimeAndSilenceExactlyWhereAudioWasLost)
{
    for (const unsigned seed : {1U, 2U, 3U, 4U, 5U}) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        Ring ring(5, 1024);
        std::deque<WaveHeader*> done;
        // 3 buffers of backlog: a consumer that stalls for long loses audio.
        BufferAssembler assembler(3 * 1024, 4, [&](WaveHeader& h) { done.push_back(&h); });
        for (auto& slot : ring.buffers) {
            assembler.add(slot.header);
        }
        std::vector<std::int16_t> stream;
        std::size_t written = 0;
        const std::size_t total = 300000;
        int stall = 0;
        auto consume = [&](bool all) {
            while (!done.empty()) {
                WaveHeader* h = done.front();
                done.pop_front();
                ASSERT_EQ(h->droppedBefore % 4, 0U);
                stream.insert(stream.end(), h->droppedBefore / 2, 0);
                const auto* samples = reinterpret_cast<const std::int16_t*>(h->lpData);
                stream.insert(stream.end(), samples, samples + h->dwBytesRecorded / 2);
                assembler.add(*h);
                if (!all && rng() % 3 == 0) {
                    break;
                }
            }
        };
        while (written < total) {
            const std::size_t n =
                std::min<std::size_t>(total - written, 2 * std::uniform_int_distribution<std::size_t>(1, 400)(rng));
            std::vector<std::int16_t> chunk(n);
            for (std::size_t i = 0; i < n; ++i) {
                chunk[i] = static_cast<std::int16_t>((written + i) % 32767 + 1);  // never silence
            }
            assembler.write(reinterpret_cast<const std::byte*>(chunk.data()), n * 2);
            written += n;
            if (stall > 0) {
                --stall;
            } else if (rng() % 50 == 0) {
                stall = std::uniform_int_distribution<>(5, 40)(rng);  // the UI thread is busy
            } else {
                consume(false);
            }
        }
        consume(true);
        assembler.finishCurrent();
        consume(true);
        ASSERT_GT(assembler.dropped(), 0U) << "the consumer never stalled long enough";
        ASSERT_EQ(stream.size(), total) << "the time line has the capture's length";
        std::size_t silent = 0;
        for (std::size_t i = 0; i < total; ++i) {
            const auto captured = static_cast<std::int16_t>(i % 32767 + 1);
            if (stream[i] == 0) {
                ++silent;
            } else {
                ASSERT_EQ(stream[i], captured) << "sample " << i;
            }
        }
        EXPECT_EQ(silent * 2, assembler.dropped());
        EXPECT_EQ(assembler.pendingGaps(), 0U);
    }
}

TEST(BufferAssembler, HolesBecomeSilence_andStopAndResetHandBackBuffers)
{
    Ring ring(3, 8);
    std::vector<std::uint32_t> returned;
    BufferAssembler assembler(0, 2, [&](WaveHeader& h) { returned.push_back(h.dwBytesRecorded); });
    for (auto& slot : ring.buffers) {
        assembler.add(slot.header);
    }
    assembler.write(nullptr, 6);
    EXPECT_TRUE(returned.empty());
    EXPECT_EQ(ring.buffers[0].samples, (std::vector<std::int16_t>{0, 0, 0, -1}));

    assembler.finishCurrent();  // a stop: the partly filled buffer comes back
    EXPECT_EQ(returned, std::vector<std::uint32_t>{6});
    assembler.finishCurrent();  // the next one is empty and stays queued
    EXPECT_EQ(assembler.queued(), 2U);

    assembler.returnAll();  // a reset: every buffer comes back
    EXPECT_EQ(returned, (std::vector<std::uint32_t>{6, 0, 0}));
    EXPECT_EQ(assembler.queued(), 0U);
    EXPECT_EQ(ring.buffers[2].header.dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
    EXPECT_EQ(assembler.dropped(), 0U);

    // A loss not yet handed on goes with the reset: a restarted capture begins clean.
    assembler.write(nullptr, 4);
    EXPECT_EQ(assembler.pendingGaps(), 1U);
    assembler.returnAll();
    EXPECT_EQ(assembler.pendingGaps(), 0U);
    assembler.add(ring.buffers[0].header);
    assembler.write(nullptr, 8);
    EXPECT_EQ(returned.size(), 4U);
    EXPECT_EQ(ring.buffers[0].header.droppedBefore, 0U);
}

}  // namespace
}  // namespace quillon
