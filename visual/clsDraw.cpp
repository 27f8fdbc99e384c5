#include "visual/clsDraw.h"

#include <algorithm>
#include <cmath>

#include "visual/Rounding.h"

namespace quillon {

namespace {

using visual_detail::roundHalfEven;

constexpr Colour kBlack = 0x000000U;
constexpr Colour kWhite = 0xFFFFFFU;

}  // namespace

void clsDraw::DrawRect(Surface& hdc, std::int32_t lngLeft, std::int32_t lngTop, std::int32_t lngRight,
                       std::int32_t lngBottom, Colour lngColor)
{
    hdc.FillRect(lngLeft, lngTop, lngRight, lngBottom, lngColor);
}

float clsDraw::BandWeight(std::int32_t position, std::int32_t length)
{
    constexpr float kTwoPi = 6.2831855F;
    const float angle = static_cast<float>(position) * kTwoPi / static_cast<float>(length);
    return static_cast<float>(0.5 * (1.0 - std::cos(static_cast<double>(angle))));
}

void clsDraw::DrawAmplitudes(std::span<const std::int16_t> data, Surface& picVis) const
{
    const std::int32_t w = picVis.ScaleWidth();
    const std::int32_t h = picVis.ScaleHeight();
    const std::int32_t mid = h / 2;

    // Black pen over the black fill blanks the whole picture.
    picVis.ForeColor(kBlack);
    picVis.Rectangle(0, 0, w, h);
    picVis.ForeColor(kWhite);
    picVis.MoveToEx(0, mid);

    const auto count = static_cast<std::int64_t>(data.size());
    const auto lastIndex = static_cast<double>(count - 1);
    // A picture without width has no columns; keep the step finite.
    const std::int64_t step = w > 0 ? std::max(0, roundHalfEven(lastIndex / w)) : 0;
    const std::int32_t columns = roundHalfEven(static_cast<double>(w) - 3.0);

    std::int64_t p = 0;
    std::int32_t x = 1;
    for (; x <= columns; ++x) {
        // Rounding can make the slices run past the block's end: average what is there,
        // and draw an empty slice on the centre line.
        const std::int64_t begin = std::min(p, count);
        const std::int64_t end = std::min(p + step, count);
        p += step;
        double v = 0.0;
        if (end > begin) {
            std::int64_t sum = 0;
            for (std::int64_t i = begin; i < end; ++i) {
                sum += data[static_cast<std::size_t>(i)];
            }
            v = static_cast<double>(sum) / static_cast<double>(end - begin) / 32767.0;
        }
        v = std::clamp(v, -1.0, 1.0);
        picVis.LineTo(x, roundHalfEven(v * (mid - 2) + mid));
    }
    picVis.LineTo(x, mid);
    picVis.LineTo(x + 1, mid);
}

void clsDraw::DrawFrequencies(std::span<const std::int16_t> intSamples, Surface& picbox, int channels,
                              std::optional<std::uint64_t> block)
{
    const auto stride = static_cast<std::size_t>(std::max(channels, 1));
    if (intSamples.size() / stride < static_cast<std::size_t>(kPoints)) {
        return;
    }
    if (!fourier_) {
        fourier_ = std::make_unique<clsFourier>();
        fourier_->NumberOfSamples(kPoints);
        fourier_->WithTimeWindow(true);
    }
    for (double& level : bandLevels_) {
        level = std::max(level - 0.07, 0.0);
    }

    std::array<float, kBins>& s = lastMagnitudes_;
    const auto used = intSamples.first(static_cast<std::size_t>(kPoints) * stride);
    if (!block || block != lastBlock_ || stride != lastStride_) {
        // Interleaved channels transformed as they lie would halve every frequency;
        // transform the frames' mix instead.
        for (std::int32_t i = 0; i < kPoints; ++i) {
            const auto frame = used.subspan(static_cast<std::size_t>(i) * stride, stride);
            double sum = 0.0;
            for (const std::int16_t sample : frame) {
                sum += sample;
            }
            fourier_->RealIn(i + 1, sum / static_cast<double>(stride));
        }
        for (std::int32_t j = 0; j < kBins; ++j) {
            // Full scale for a bar is a magnitude of 0.2 * (1024 / 4) * 32767.
            auto v = static_cast<float>(fourier_->ComplexOut(j + 1) / 256.0 / 32767.0);
            if (v > 0.2) {
                v = 0.2F;
            }
            s[static_cast<std::size_t>(j)] = static_cast<float>(v / 0.2);
        }
        lastBlock_ = block;
        lastStride_ = stride;
    }

    static const std::array<float, kBands> weights = [] {
        std::array<float, kBands> table{};
        for (std::int32_t b = 0; b < kBands; ++b) {
            table[static_cast<std::size_t>(b)] = BandWeight(b + 3, 25);
        }
        return table;
    }();
    // The running value is carried on, so each band keeps a share of the one before.
    float r = 0.0F;
    std::size_t k = 1;
    for (std::int32_t b = 0; b < kBands; ++b) {
        r = r + s[k] + s[k + 1] + s[k + 2] + s[k + 3];
        k += 5;
        r = (weights[static_cast<std::size_t>(b)] + 1.0F) * r / 3.0F;
        double& level = bandLevels_[static_cast<std::size_t>(b)];
        if (r > level) {
            level = r;
        }
        if (level > 1.0) {
            level = 1.0;
        }
    }

    picbox.Cls();
    const double height = picbox.ScaleHeight();
    for (std::int32_t b = 0; b < kBands; ++b) {
        const double level = bandLevels_[static_cast<std::size_t>(b)];
        const Colour colour = Rgb(255, static_cast<std::uint32_t>(roundHalfEven(level * 255.0)), 50);
        const std::int32_t top =
            std::max(2, std::min(roundHalfEven(height), roundHalfEven(height - height * level)) - 2);
        DrawRect(picbox, 4 * b + 4, top, 4 * b + 7, roundHalfEven(height - 2.0), colour);
    }
}

}  // namespace quillon
