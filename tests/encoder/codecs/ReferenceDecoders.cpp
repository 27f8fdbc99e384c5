#include "ReferenceDecoders.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace quillon::test {

std::int16_t ALawToLinear(std::uint8_t code)
{
    // Undo the even-bit inversion, then take the middle of the quantisation interval.
    const int v = code ^ 0x55;
    const int segment = (v >> 4) & 7;
    const int interval = v & 0xf;
    int magnitude = segment == 0 ? (interval << 4) + 8 : ((interval + 16) << (segment + 3)) + (1 << (segment + 2));
    return static_cast<std::int16_t>((v & 0x80) != 0 ? magnitude : -magnitude);
}

std::int16_t MuLawToLinear(std::uint8_t code)
{
    const int v = ~code & 0xff;
    const int segment = (v >> 4) & 7;
    const int interval = v & 0xf;
    const int magnitude = (((interval << 3) + 0x84) << segment) - 0x84;
    return static_cast<std::int16_t>((v & 0x80) != 0 ? -magnitude : magnitude);
}

namespace {

constexpr std::array<int, 89> kImaSteps = {
    7,    8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,   28,
    31,   34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,  118,
    130,  143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,  494,
    544,  598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878, 2066,
    2272, 2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845, 8630,
    9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr std::array<int, 8> kImaIndexChange = {-1, -1, -1, -1, 2, 4, 6, 8};

std::int16_t le16(const std::uint8_t* p)
{
    return static_cast<std::int16_t>(p[0] | (p[1] << 8));
}

struct ImaChannel {
    int predictor = 0;
    int index = 0;
    int expand(int nibble)
    {
        const int step = kImaSteps[static_cast<std::size_t>(index)];
        int diff = step >> 3;
        if ((nibble & 4) != 0)
            diff += step;
        if ((nibble & 2) != 0)
            diff += step >> 1;
        if ((nibble & 1) != 0)
            diff += step >> 2;
        predictor = std::clamp((nibble & 8) != 0 ? predictor - diff : predictor + diff, -32768, 32767);
        index = std::clamp(index + kImaIndexChange[static_cast<std::size_t>(nibble & 7)], 0, 88);
        return predictor;
    }
};

}  // namespace

std::vector<std::int16_t> DecodeImaAdpcm(std::span<const std::uint8_t> data, int channels, std::size_t blockAlign)
{
    const auto ch = static_cast<std::size_t>(channels);
    const std::size_t frames = (blockAlign - 4 * ch) * 2 / ch + 1;
    std::vector<std::int16_t> out;
    for (std::size_t at = 0; at + blockAlign <= data.size(); at += blockAlign) {
        const std::uint8_t* block = data.data() + at;
        std::vector<std::int16_t> pcm(frames * ch);
        std::array<ImaChannel, 2> state{};
        for (std::size_t c = 0; c < ch; ++c) {
            state[c].predictor = le16(block + 4 * c);
            state[c].index = std::min<int>(block[4 * c + 2], 88);
            pcm[c] = static_cast<std::int16_t>(state[c].predictor);
        }
        const std::uint8_t* p = block + 4 * ch;
        for (std::size_t group = 0; group < (frames - 1) / 8; ++group) {
            for (std::size_t c = 0; c < ch; ++c) {
                for (std::size_t k = 0; k < 8; ++k) {
                    const int nibble = (k % 2 == 0) ? (p[k / 2] & 0xf) : (p[k / 2] >> 4);
                    pcm[(1 + group * 8 + k) * ch + c] = static_cast<std::int16_t>(state[c].expand(nibble));
                }
                p += 4;
            }
        }
        out.insert(out.end(), pcm.begin(), pcm.end());
    }
    return out;
}

std::vector<std::int16_t> DecodeMsAdpcm(std::span<const std::uint8_t> data, int channels, std::size_t blockAlign)
{
    static constexpr std::array<int, 7> coef1 = {256, 512, 0, 192, 240, 460, 392};
    static constexpr std::array<int, 7> coef2 = {0, -256, 0, 64, 0, -208, -232};
    static constexpr std::array<int, 16> adapt = {230, 230, 230, 230, 307, 409, 512, 614,
                                                  768, 614, 512, 409, 307, 230, 230, 230};
    const auto ch = static_cast<std::size_t>(channels);
    const std::size_t frames = (blockAlign - 7 * ch) * 2 / ch + 2;
    std::vector<std::int16_t> out;
    for (std::size_t at = 0; at + blockAlign <= data.size(); at += blockAlign) {
        const std::uint8_t* block = data.data() + at;
        std::array<int, 2> c1{}, c2{}, delta{}, s1{}, s2{};
        for (std::size_t c = 0; c < ch; ++c) {
            const std::size_t pred = std::min<std::size_t>(block[c], 6);
            c1[c] = coef1[pred];
            c2[c] = coef2[pred];
            delta[c] = le16(block + ch + 2 * c);
            s1[c] = le16(block + 3 * ch + 2 * c);
            s2[c] = le16(block + 5 * ch + 2 * c);
        }
        std::vector<std::int16_t> pcm(frames * ch);
        for (std::size_t c = 0; c < ch; ++c) {
            pcm[c] = static_cast<std::int16_t>(s2[c]);  // the older sample comes first
            pcm[ch + c] = static_cast<std::int16_t>(s1[c]);
        }
        const std::uint8_t* p = block + 7 * ch;
        for (std::size_t i = 2 * ch; i < frames * ch; ++i) {
            const std::size_t nth = i - 2 * ch;  // nibble count, high nibble first
            const int raw = (nth % 2 == 0) ? (p[nth / 2] >> 4) : (p[nth / 2] & 0xf);
            const int nibble = raw >= 8 ? raw - 16 : raw;
            const std::size_t c = i % ch;
            const int predicted = (s1[c] * c1[c] + s2[c] * c2[c]) / 256;
            const int sample = std::clamp(predicted + nibble * delta[c], -32768, 32767);
            delta[c] = std::max(16, (adapt[static_cast<std::size_t>(raw)] * delta[c]) >> 8);
            s2[c] = s1[c];
            s1[c] = sample;
            pcm[i] = static_cast<std::int16_t>(sample);
        }
        out.insert(out.end(), pcm.begin(), pcm.end());
    }
    return out;
}

double SnrDb(std::span<const std::int16_t> reference, std::span<const std::int16_t> decoded, std::size_t skip)
{
    const std::size_t n = std::min(reference.size(), decoded.size());
    double signal = 0.0;
    double noise = 0.0;
    for (std::size_t i = skip; i < n; ++i) {
        const double r = reference[i];
        const double e = r - decoded[i];
        signal += r * r;
        noise += e * e;
    }
    if (noise == 0.0) {
        return 200.0;
    }
    return 10.0 * std::log10(signal / noise);
}

std::vector<std::int16_t> Tone(double frequency, double rightFrequency, std::uint32_t rate, int channels,
                               std::size_t frames, double amplitude)
{
    std::vector<std::int16_t> out(frames * static_cast<std::size_t>(channels));
    for (std::size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / rate;
        for (int c = 0; c < channels; ++c) {
            const double f = c == 0 ? frequency : rightFrequency;
            const double v = amplitude * 32767.0 * std::sin(2.0 * std::numbers::pi * f * t);
            out[n * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
                static_cast<std::int16_t>(std::lround(v));
        }
    }
    return out;
}

}  // namespace quillon::test
