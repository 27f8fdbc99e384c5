#pragma once

#include "encoder/codecs/BlockEncoder.h"

namespace quillon {

// Microsoft ADPCM (tag 2): 4 bits per sample with a two-tap predictor chosen per block and channel
// from the seven standard coefficient pairs, which the format record carries (cbSize 32).
class MsAdpcmEncoder final : public BlockEncoder {
public:
    // Two header samples per channel plus two per data byte.
    static std::size_t FramesPerBlockFor(std::uint16_t blockAlign, int channels);

    MsAdpcmEncoder(std::uint32_t rate, int channels);

    [[nodiscard]] int channels() const override { return channels_; }
    [[nodiscard]] std::size_t framesPerBlock() const override { return framesPerBlock_; }
    [[nodiscard]] std::size_t bytesPerBlock() const override { return blockAlign_; }
    void reset() override {}
    [[nodiscard]] std::vector<std::uint8_t> format() const override;

private:
    void encodeBlock(const std::int16_t* in, std::uint8_t* out) override;

    std::uint32_t rate_;
    int channels_;
    std::uint16_t blockAlign_;
    std::size_t framesPerBlock_;
    std::vector<std::int8_t> nibbles_;  // one channel's nibbles of the block being encoded
};

std::vector<std::uint8_t> MakeMsAdpcmFormat(std::uint32_t rate, int channels);

}  // namespace quillon
