#include "recording/DeliveryPacing.h"

namespace quillon {

std::int32_t DeliveryPacing::BuffersPerHandOver(Audience audience, std::int32_t bufferBytes,
                                                std::optional<std::int32_t> bytesPerSecond)
{
    if (audience == Audience::Nobody) {
        return kUnwatchedBuffers;
    }
    return bytesPerSecond && std::int64_t{bufferBytes} * 1000 <= std::int64_t{*bytesPerSecond} * kPairedBufferMs
               ? kDisplayBuffers
               : 1;
}

std::size_t DeliveryPacing::TickLimit(std::size_t waiting, std::chrono::steady_clock::duration sinceLast,
                                      std::chrono::steady_clock::duration halfBuffer)
{
    if (waiting > static_cast<std::size_t>(kDisplayBuffers)) {
        return kAll;
    }
    return waiting > 0 && sinceLast >= halfBuffer ? 1 : 0;
}

void DeliveryPacing::Prepare(BufferHandOver& engine, std::optional<std::int32_t> bytesPerSecond) const
{
    engine.DeliveryBuffers(BuffersPerHandOver(audience_, engine.BufferSize(), bytesPerSecond));
    engine.NotifyLatency(audience_ == Audience::Display ? kDisplayLatency : std::chrono::milliseconds{0});
}

void DeliveryPacing::Tick(BufferHandOver& engine, std::int32_t bytesPerSecond,
                          std::chrono::steady_clock::time_point now)
{
    const auto halfBuffer = std::chrono::microseconds(
        bytesPerSecond > 0 ? std::int64_t{engine.BufferSize()} * 500'000 / bytesPerSecond : 0);
    const std::size_t limit = TickLimit(engine.WaitingCount(), now - lastHandOver_, halfBuffer);
    // Also with nothing to hand over: that ticks come is what keeps the buffers waiting.
    engine.DeliverWaiting(limit);
    if (limit > 0) {
        lastHandOver_ = now;
    }
}

void DeliveryPacing::HandOverAll(BufferHandOver& engine)
{
    engine.DeliverWaiting(kAll);
}

std::int32_t DeliveryPacing::HandOverBytes(const BufferHandOver& engine,
                                           std::optional<std::int32_t> bytesPerSecond) const
{
    return engine.BufferSize() * BuffersPerHandOver(audience_, engine.BufferSize(), bytesPerSecond);
}

}  // namespace quillon
