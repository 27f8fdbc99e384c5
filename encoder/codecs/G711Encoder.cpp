#include "encoder/codecs/G711Encoder.h"

#include <array>
#include <stdexcept>

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

G711Encoder::G711Encoder(Law law, std::uint32_t rate, int channels) : law_(law), rate_(rate), channels_(channels)
{
    if (rate == 0 || channels < 1 || channels > 2) {
        throw std::invalid_argument("G.711 takes 1 or 2 channels at a rate above 0");
    }
}

std::size_t G711Encoder::encode(std::span<const std::int16_t> in, std::span<std::uint8_t> out)
{
    const std::size_t n = in.size() - in.size() % static_cast<std::size_t>(channels_);
    if (out.size() < n) {
        throw std::length_error("G.711 output too small");
    }
    const auto& codes = law_ == Law::ALaw ? table<LinearToALaw>() : table<LinearToMuLaw>();
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = codes[static_cast<std::uint16_t>(in[i])];
    }
    return n;
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
