#include "encoder/codecs/MsAdpcmEncoder.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "encoder/codecs/FormatRecord.h"

namespace quillon {

namespace {

constexpr std::array<int, 7> kCoef1 = {256, 512, 0, 192, 240, 460, 392};
constexpr std::array<int, 7> kCoef2 = {0, -256, 0, 64, 0, -208, -232};
constexpr std::array<int, 16> kAdaptation = {230, 230, 230, 230, 307, 409, 512, 614,
                                             768, 614, 512, 409, 307, 230, 230, 230};

// Per channel: the predictor index (1 byte), the step size and the two newest samples (2 bytes each).
constexpr AdpcmFraming kFraming{7, 2};

struct ChannelState {
    int coef1;
    int coef2;
    int delta;
    int sample1;  // newest reconstructed sample
    int sample2;
};

// Encodes samples 2.. of one channel (stride apart in `in`), tracking the decoder's state. The
// prediction divides (truncating) as the decoders do, not shifts.
void encodeChannel(const std::int16_t* in, std::size_t stride, std::size_t frames, ChannelState s, std::int8_t* nibbles)
{
    for (std::size_t n = 2; n < frames; ++n) {
        const int sample = in[n * stride];
        const int predicted = (s.sample1 * s.coef1 + s.sample2 * s.coef2) / 256;
        const int diff = sample - predicted;
        int q = diff >= 0 ? (diff + s.delta / 2) / s.delta : -((-diff + s.delta / 2) / s.delta);
        q = std::clamp(q, -8, 7);
        const int decoded = std::clamp(predicted + q * s.delta, -32768, 32767);
        s.delta = std::max(16, (kAdaptation[static_cast<std::size_t>(q & 0xf)] * s.delta) >> 8);
        s.sample2 = s.sample1;
        s.sample1 = decoded;
        nibbles[n] = static_cast<std::int8_t>(q);
    }
}

}  // namespace

MsAdpcmEncoder::MsAdpcmEncoder(std::uint32_t rate, int channels)
    : AdpcmEncoder("Microsoft ADPCM", kFraming, rate, channels),
      nibbles_(static_cast<std::size_t>(channels_) * framesPerBlock_)
{
}

void MsAdpcmEncoder::encodeBlock(const std::int16_t* in, std::uint8_t* out)
{
    const auto ch = static_cast<std::size_t>(channels_);
    for (std::size_t c = 0; c < ch; ++c) {
        const std::int16_t* x = in + c;
        // Pick the predictor that fits the block's own samples best (open loop: cheap, and close
        // to what encoding with each would give), then encode once with it.
        std::array<std::int64_t, 7> fit{};
        for (std::size_t n = 2; n < framesPerBlock_; ++n) {
            const int s1 = x[(n - 1) * ch];
            const int s2 = x[(n - 2) * ch];
            const int sample = x[n * ch];
            for (std::size_t p = 0; p < kCoef1.size(); ++p) {
                const std::int64_t e = sample - (s1 * kCoef1[p] + s2 * kCoef2[p]) / 256;
                fit[p] += e * e;
            }
        }
        const auto chosenIndex = static_cast<std::size_t>(std::min_element(fit.begin(), fit.end()) - fit.begin());
        ChannelState chosen{kCoef1[chosenIndex], kCoef2[chosenIndex], 16, x[ch], x[0]};
        // The first step size follows the first prediction errors, so the block starts neither
        // clipped nor coarse.
        int sum = 0;
        int count = 0;
        for (std::size_t n = 2; n < std::min<std::size_t>(framesPerBlock_, 6); ++n) {
            sum += std::abs(x[n * ch] - (x[(n - 1) * ch] * chosen.coef1 + x[(n - 2) * ch] * chosen.coef2) / 256);
            ++count;
        }
        chosen.delta = std::clamp(count > 0 ? sum / count / 2 : 16, 16, 8192);
        encodeChannel(x, ch, framesPerBlock_, chosen, nibbles_.data() + c * framesPerBlock_);
        out[c] = static_cast<std::uint8_t>(chosenIndex);
        putLE16(out + ch + 2 * c, static_cast<std::uint16_t>(chosen.delta));
        putLE16(out + 3 * ch + 2 * c, static_cast<std::uint16_t>(chosen.sample1));
        putLE16(out + 5 * ch + 2 * c, static_cast<std::uint16_t>(chosen.sample2));
    }
    std::uint8_t* dst = out + 7 * ch;
    if (ch == 1) {
        for (std::size_t n = 2; n + 1 < framesPerBlock_; n += 2) {
            *dst++ = static_cast<std::uint8_t>(((nibbles_[n] & 0xf) << 4) | (nibbles_[n + 1] & 0xf));
        }
    } else {
        const std::int8_t* right = nibbles_.data() + framesPerBlock_;
        for (std::size_t n = 2; n < framesPerBlock_; ++n) {
            *dst++ = static_cast<std::uint8_t>(((nibbles_[n] & 0xf) << 4) | (right[n] & 0xf));
        }
    }
}

std::vector<std::uint8_t> MsAdpcmEncoder::format() const
{
    return MakeMsAdpcmFormat(rate_, channels_);
}

std::vector<std::uint8_t> MakeMsAdpcmFormat(std::uint32_t rate, int channels)
{
    std::vector<std::uint8_t> coefficients;
    AppendLE16(coefficients, static_cast<std::uint16_t>(kCoef1.size()));
    for (std::size_t i = 0; i < kCoef1.size(); ++i) {
        AppendLE16(coefficients, static_cast<std::uint16_t>(kCoef1[i]));
        AppendLE16(coefficients, static_cast<std::uint16_t>(kCoef2[i]));
    }
    return MakeAdpcmFormat(WAVE_FORMAT_ADPCM, kFraming, rate, channels, coefficients);
}

}  // namespace quillon
