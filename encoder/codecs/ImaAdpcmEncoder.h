#pragma once

#include <array>

#include "encoder/codecs/AdpcmEncoder.h"

namespace quillon {

// IMA ADPCM in WAV (tag 0x11): 4 bits per sample; each block starts, per channel, with the first
// sample as it is and the step index, then interleaves 8 samples (4 bytes) per channel in turn.
class ImaAdpcmEncoder final : public AdpcmEncoder {
public:
    ImaAdpcmEncoder(std::uint32_t rate, int channels);

    void reset() override { stepIndex_.fill(0); }
    [[nodiscard]] std::vector<std::uint8_t> format() const override;

private:
    void encodeBlock(const std::int16_t* in, std::uint8_t* out) override;

    // The step index runs on from block to block; the predictor restarts at each header.
    std::array<int, 2> stepIndex_{};
};

std::vector<std::uint8_t> MakeImaAdpcmFormat(std::uint32_t rate, int channels);

}  // namespace quillon
