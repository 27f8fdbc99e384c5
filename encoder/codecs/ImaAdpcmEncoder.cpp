#include "encoder/codecs/ImaAdpcmEncoder.h"

#include <algorithm>

#include "encoder/codecs/FormatRecord.h"

namespace quillon {

namespace {

constexpr std::array<int, 89> kStepTable = {
    7,    8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,   28,
    31,   34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,  118,
    130,  143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,  494,
    544,  598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878, 2066,
    2272, 2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845, 8630,
    9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

// Per channel: the first sample (2 bytes), the step index and a zero byte.
constexpr AdpcmFraming kFraming{4, 1};

constexpr std::array<int, 16> kIndexTable = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

// One sample: the nibble whose reconstruction the decoder will make, with the encoder's copy of the
// decoder state advanced alike so the two never drift apart.
int encodeSample(int sample, int& predictor, int& index)
{
    int step = kStepTable[static_cast<std::size_t>(index)];
    int diff = sample - predictor;
    int nibble = 0;
    if (diff < 0) {
        nibble = 8;
        diff = -diff;
    }
    int delta = step >> 3;
    if (diff >= step) {
        nibble |= 4;
        diff -= step;
        delta += step;
    }
    step >>= 1;
    if (diff >= step) {
        nibble |= 2;
        diff -= step;
        delta += step;
    }
    step >>= 1;
    if (diff >= step) {
        nibble |= 1;
        delta += step;
    }
    predictor += (nibble & 8) != 0 ? -delta : delta;
    predictor = std::clamp(predictor, -32768, 32767);
    index = std::clamp(index + kIndexTable[static_cast<std::size_t>(nibble)], 0, 88);
    return nibble;
}

}  // namespace

ImaAdpcmEncoder::ImaAdpcmEncoder(std::uint32_t rate, int channels) : AdpcmEncoder("IMA ADPCM", kFraming, rate, channels)
{
}

void ImaAdpcmEncoder::encodeBlock(const std::int16_t* in, std::uint8_t* out)
{
    const auto ch = static_cast<std::size_t>(channels_);
    std::array<int, 2> predictor{};
    for (std::size_t c = 0; c < ch; ++c) {
        predictor[c] = in[c];
        putLE16(out + 4 * c, static_cast<std::uint16_t>(in[c]));
        out[4 * c + 2] = static_cast<std::uint8_t>(stepIndex_[c]);
        out[4 * c + 3] = 0;
    }
    std::uint8_t* dst = out + 4 * ch;
    const std::size_t groups = (framesPerBlock_ - 1) / 8;
    for (std::size_t g = 0; g < groups; ++g) {
        for (std::size_t c = 0; c < ch; ++c) {
            for (std::size_t k = 0; k < 8; k += 2) {
                const std::size_t frame = 1 + g * 8 + k;
                const int lo = encodeSample(in[frame * ch + c], predictor[c], stepIndex_[c]);
                const int hi = encodeSample(in[(frame + 1) * ch + c], predictor[c], stepIndex_[c]);
                *dst++ = static_cast<std::uint8_t>(lo | (hi << 4));
            }
        }
    }
}

std::vector<std::uint8_t> ImaAdpcmEncoder::format() const
{
    return MakeImaAdpcmFormat(rate_, channels_);
}

std::vector<std::uint8_t> MakeImaAdpcmFormat(std::uint32_t rate, int channels)
{
    return MakeAdpcmFormat(WAVE_FORMAT_IMA_ADPCM, kFraming, rate, channels, {});
}

}  // namespace quillon
