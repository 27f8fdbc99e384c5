#pragma once

#include "encoder/codecs/AdpcmEncoder.h"

namespace quillon {

// Microsoft ADPCM (tag 2): 4 bits per sample with a two-tap predictor chosen per block and channel
// from the seven standard coefficient pairs, which the format record carries (cbSize 32).
class MsAdpcmEncoder final : public AdpcmEncoder {
public:
    MsAdpcmEncoder(std::uint32_t rate, int channels);

    void reset() override {}
    [[nodiscard]] std::vector<std::uint8_t> format() const override;

private:
    void encodeBlock(const std::int16_t* in, std::uint8_t* out) override;

    std::vector<std::int8_t> nibbles_;  // one channel's nibbles of the block being encoded
};

std::vector<std::uint8_t> MakeMsAdpcmFormat(std::uint32_t rate, int channels);

}  // namespace quillon
