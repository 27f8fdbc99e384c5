#pragma once

#include <memory>
#include <vector>

#include "common/WaveFormat.h"
#include "encoder/acm/AcmCodec.h"
#include "encoder/codecs/BlockEncoder.h"

namespace quillon::acm {

// Runs a block codec behind the conversion stream. When the capture format differs from the
// codec's rate or channel count, a PCM stage converts first and its output waits here until it
// makes whole blocks. Without that stage the source is taken in whole blocks, and the
// caller keeps the rest until the next call; at the end the tail becomes one zero-padded block.
class BlockCodecConverter final : public AcmCodec {
public:
    // `front`: 16-bit PCM at the codec's rate and channels from `source`, or nullptr when the
    // source already is.
    BlockCodecConverter(const WaveFormatEx& source, std::unique_ptr<BlockEncoder> encoder,
                        std::unique_ptr<AcmCodec> front);

    [[nodiscard]] std::uint32_t sourceBlockAlign() const override;
    [[nodiscard]] std::uint32_t destinationSize(std::uint32_t sourceBytes) const override;
    [[nodiscard]] std::uint32_t sourceSize(std::uint32_t destinationBytes) const override;
    std::optional<Converted> convert(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination,
                                     bool end) override;

private:
    void appendPcm(std::span<const std::uint8_t> bytes);
    std::size_t encodePending(std::span<std::uint8_t> destination, bool end);

    WaveFormatEx source_;
    std::unique_ptr<BlockEncoder> encoder_;
    std::unique_ptr<AcmCodec> front_;
    std::vector<std::uint8_t> frontOut_;
    std::vector<std::int16_t> pending_;  // codec-side samples short of a whole block
    bool ended_ = false;
};

}  // namespace quillon::acm
