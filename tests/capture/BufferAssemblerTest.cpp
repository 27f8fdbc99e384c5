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
                std::min<std::size_t>(total - written, 2 * std::uniform_int_distribution<>(1, 700)(rng));
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

TEST(BufferAssembler, FullBacklog_dropsWholeFramesAndCountsThem)
{
    Ring ring(1, 16);
    int delivered = 0;
    BufferAssembler assembler(10, 4, [&](WaveHeader&) { ++delivered; });
    // No buffer queued: the backlog takes 8 bytes (two 4-byte frames of a capacity of 10).
    const auto data = counting(0, 12);
    assembler.write(reinterpret_cast<const std::byte*>(data.data()), 24);
    EXPECT_EQ(assembler.backlog(), 8U);
    EXPECT_EQ(assembler.dropped(), 16U);

    assembler.add(ring.buffers[0].header);
    EXPECT_EQ(ring.buffers[0].header.dwBytesRecorded, 8U);
    EXPECT_EQ(ring.buffers[0].samples[0], 0);
    EXPECT_EQ(ring.buffers[0].samples[3], 3);
    EXPECT_EQ(delivered, 0);
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
}

}  // namespace
}  // namespace quillon
