#pragma once

#include "encoder/codecs/BlockEncoder.h"

namespace quillon {

// ITU-T G.711 companding of one 16-bit sample (the 13 or 14 most significant bits count).
std::uint8_t LinearToALaw(std::int16_t sample);
std::uint8_t LinearToMuLaw(std::int16_t sample);

// CCITT A-law (tag 6) or mu-law (tag 7), 8 bits per sample, any rate, 1 or 2 channels.
// A block is one frame, so nothing is ever left over.
class G711Encoder final : public BlockEncoder {
public:
    enum class Law { ALaw, MuLaw };

    G711Encoder(Law law, std::uint32_t rate, int channels);

    [[nodiscard]] int channels() const override { return channels_; }
    [[nodiscard]] std::size_t framesPerBlock() const override { return 1; }
    [[nodiscard]] std::size_t bytesPerBlock() const override { return static_cast<std::size_t>(channels_); }
    void reset() override {}
    [[nodiscard]] std::vector<std::uint8_t> format() const override;

private:
    void encodeBlock(const std::int16_t* in, std::uint8_t* out) override { encodeBlocks(in, out, 1); }
    void encodeBlocks(const std::int16_t* in, std::uint8_t* out, std::size_t blocks) override;

    Law law_;
    std::uint32_t rate_;
    int channels_;
};

std::vector<std::uint8_t> MakeG711Format(G711Encoder::Law law, std::uint32_t rate, int channels);

}  // namespace quillon
