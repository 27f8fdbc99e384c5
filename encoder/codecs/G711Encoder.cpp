#include "encoder/codecs/G711Encoder.h"

#include <array>

#include "encoder/codecs/FormatRecord.h"

namespace quillon {

std::uint8_t LinearToALaw(std::int16_t sample)
{
    // Negative samples use the one's complement as magnitude, so -1 maps like 0 (G.191 convention).
    const int lin = sample;
    int ix = lin < 0 ? (~lin) >> 4 : lin >> 4;
    if (ix > 15) {
        int exponent = 1;
        while (ix > 16 + 15) {
            ix >>= 1;
            ++exponent;
        }
        ix -= 16;
        ix += exponent << 4;
    }
    if (lin >= 0) {
        ix |= 0x80;
    }
    return static_cast<std::uint8_t>(ix ^ 0x55);  // even bits inverted on the line
}

std::uint8_t LinearToMuLaw(std::int16_t sample)
{
    const int lin = sample;
    int biased = (lin < 0 ? (~lin) >> 2 : lin >> 2) + 33;
    if (biased > 0x1fff) {
        biased = 0x1fff;
    }
    int segment = 1;
    for (int i = biased >> 6; i != 0; i >>= 1) {
        ++segment;
    }
    const int high = 0x8 - segment;
    const int low = 0xf - ((biased >> segment) & 0xf);
    int code = (high << 4) | low;
    if (lin >= 0) {
        code |= 0x80;
    }
    return static_cast<std::uint8_t>(code);
}

namespace {

// Every 16-bit sample's code, built once: a table lookup beats the segment search per sample.
template <std::uint8_t (*Compress)(std::int16_t)>
const std::array<std::uint8_t, 65536>& table()
{
    static const auto codes = [] {
        std::array<std::uint8_t, 65536> t{};
        for (int v = -32768; v <= 32767; ++v) {
            t[static_cast<std::uint16_t>(v)] = Compress(static_cast<std::int16_t>(v));
        }
        return t;
    }();
    return codes;
}

}  // namespace

G711Encoder::G711Encoder(Law law, std::uint32_t rate, int channels)
    : law_(law), rate_(rate), channels_(CheckedChannels("G.711", rate, channels))
{
}

void G711Encoder::encodeBlocks(const std::int16_t* in, std::uint8_t* out, std::size_t blocks)
{
    const auto& codes = law_ == Law::ALaw ? table<LinearToALaw>() : table<LinearToMuLaw>();
    const std::size_t n = blocks * static_cast<std::size_t>(channels_);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = codes[static_cast<std::uint16_t>(in[i])];
    }
}

std::vector<std::uint8_t> G711Encoder::format() const
{
    return MakeG711Format(law_, rate_, channels_);
}

std::vector<std::uint8_t> MakeG711Format(G711Encoder::Law law, std::uint32_t rate, int channels)
{
    WaveFormatEx f;
    f.wFormatTag = law == G711Encoder::Law::ALaw ? WAVE_FORMAT_ALAW : WAVE_FORMAT_MULAW;
    f.nChannels = static_cast<std::uint16_t>(channels);
    f.nSamplesPerSec = rate;
    f.nBlockAlign = static_cast<std::uint16_t>(channels);
    f.nAvgBytesPerSec = rate * static_cast<std::uint32_t>(channels);
    f.wBitsPerSample = 8;
    return BuildFormatRecord(f, {});
}

}  // namespace quillon
