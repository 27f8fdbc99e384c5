#pragma once

#include <array>

#include "encoder/codecs/BlockEncoder.h"

namespace quillon {

// IMA ADPCM in WAV (tag 0x11): 4 bits per sample; each block starts, per channel, with the first
// sample as it is and the step index, then interleaves 8 samples (4 bytes) per channel in turn.
class ImaAdpcmEncoder final : public BlockEncoder {
public:
    // Frames a block of `blockAlign` bytes holds: the header sample plus two per data byte.
    static std::size_t FramesPerBlockFor(std::uint16_t blockAlign, int channels);

    ImaAdpcmEncoder(std::uint32_t rate, int channels);

    [[nodiscard]] int channels() const override { return channels_; }
    [[nodiscard]] std::size_t framesPerBlock() const override { return framesPerBlock_; }
    [[nodiscard]] std::size_t bytesPerBlock() const override { return blockAlign_; }
    void reset() override { stepIndex_.fill(0); }
    [[nodiscard]] std::vector<std::uint8_t> format() const override;

private:
    void encodeBlock(const std::int16_t* in, std::uint8_t* out) override;

    std::uint32_t rate_;
    int channels_;
    std::uint16_t blockAlign_;
    std::size_t framesPerBlock_;
    // The step index runs on from block to block; the predictor restarts at each header.
    std::array<int, 2> stepIndex_{};
};

std::vector<std::uint8_t> MakeImaAdpcmFormat(std::uint32_t rate, int channels);

}  // namespace quillon
