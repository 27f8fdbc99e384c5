#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "recording/DeliveryPacing.h"

namespace quillon {
namespace {

using std::chrono::milliseconds;
using Audience = DeliveryPacing::Audience;

// A capture engine's queue of filled buffers, keeping what the pacing asked of it.
struct FakeQueue final : BufferHandOver {
    [[nodiscard]] std::int32_t BufferSize() const override { return 10240; }
    void DeliveryBuffers(std::int32_t count) override { buffers = count; }
    void NotifyLatency(milliseconds value) override { latency = value; }
    [[nodiscard]] std::size_t WaitingCount() const override { return waiting; }
    void DeliverWaiting(std::size_t limit) override
    {
        limits.push_back(limit);
        waiting -= std::min(limit, waiting);
    }
    std::int32_t buffers = 0;
    milliseconds latency{-1};
    std::size_t waiting = 0;
    std::vector<std::size_t> limits;
};

TEST(DeliveryPacing, BuffersComeInPairsToADisplayWhereABufferLastsAtMost100Ms_inFoursToNobody)
{
    struct Row {
        Audience audience;
        std::optional<std::int32_t> bytesPerSecond;
        std::int32_t buffers;
        milliseconds latency;
    };
    const Row rows[] = {
        {Audience::Display, 176400, 2, milliseconds{100}},  // 44100 Hz stereo: 58 ms a buffer
        {Audience::Display, 102400, 2, milliseconds{100}},  // exactly 100 ms
        {Audience::Display, 102399, 1, milliseconds{100}},  // just over
        {Audience::Display, 88200, 1, milliseconds{100}},   // 22050 Hz stereo: 116 ms
        {Audience::Display, std::nullopt, 1, milliseconds{100}}, {Audience::Nobody, 176400, 4, milliseconds{0}},
        {Audience::Nobody, 16000, 4, milliseconds{0}},
    };
    for (const Row& row : rows) {
        FakeQueue queue;
        const DeliveryPacing pacing(row.audience);
        pacing.Prepare(queue, row.bytesPerSecond);
        const auto rate = row.bytesPerSecond.value_or(-1);
        EXPECT_EQ(queue.buffers, row.buffers) << rate;
        EXPECT_EQ(queue.latency, row.latency) << rate;
        EXPECT_EQ(pacing.HandOverBytes(queue, row.bytesPerSecond), 10240 * row.buffers) << rate;
    }
}

TEST(DeliveryPacing, TickTakesOneBufferHalfABufferAfterTheLast_allWhenMoreThanAPairWaits_andAlwaysAnswers)
{
    // 44100 Hz stereo: a buffer lasts 58.05 ms, so half a buffer is 29.02 ms.
    struct Step {
        int atMs;
        std::size_t arriving;
        std::size_t limit;
    };
    const Step steps[] = {
        {0, 2, 1},                       // a pair: the first at once
        {25, 0, 0},                      // the second not yet
        {50, 0, 1},                      // half a buffer after the first
        {75, 0, 0},                      // nothing waits, yet the tick tells the queue it came
        {300, 1, 1},                     // long after: at once
        {310, 1, 0},                     // 10 ms later
        {339, 0, 1},                     // counted from the last hand-over, not from the last tick
        {340, 3, DeliveryPacing::kAll},  // the thread fell behind
    };
    FakeQueue queue;
    DeliveryPacing pacing(Audience::Display);
    const auto start = std::chrono::steady_clock::now();
    for (const Step& step : steps) {
        queue.waiting += step.arriving;
        queue.limits.clear();
        pacing.Tick(queue, 176400, start + milliseconds{step.atMs});
        EXPECT_EQ(queue.limits, std::vector<std::size_t>{step.limit}) << "at " << step.atMs << " ms";
    }
    EXPECT_EQ(queue.waiting, 0U);

    queue.waiting = 2;
    queue.limits.clear();
    DeliveryPacing::HandOverAll(queue);
    EXPECT_EQ(queue.limits, std::vector<std::size_t>{DeliveryPacing::kAll});
    EXPECT_EQ(queue.waiting, 0U);
}

}  // namespace
}  // namespace quillon
