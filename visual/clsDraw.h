#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "visual/Surface.h"
#include "visual/clsFourier.h"

namespace quillon {

// Oscilloscope trace and 22-band spectrum of the live display. The band levels
// carry peak hold and fall-off from call to call, so one object serves one
// spectrum picture for the program's life.
class clsDraw {
public:
    static constexpr int kBands = 22;

    // Solid fill of left..right-1, top..bottom-1.
    static void DrawRect(Surface& hdc, std::int32_t lngLeft, std::int32_t lngTop, std::int32_t lngRight,
                         std::int32_t lngBottom, Colour lngColor);
    // White trace on black of consecutive slices of the block (channels averaged together).
    void DrawAmplitudes(std::span<const std::int16_t> data, Surface& picVis) const;
    // Spectrum of the block's first 1024 frames; channels > 1 means interleaved frames,
    // whose channels are mixed before the transform. Fewer frames: nothing happens.
    // `block` numbers the samples: drawn again under the number of the last transform (and
    // as many channels), they are not transformed again. Without a number they always are.
    void DrawFrequencies(std::span<const std::int16_t> intSamples, Surface& picbox, int channels = 1,
                         std::optional<std::uint64_t> block = std::nullopt);

    // Current level of band b (0..21), 0..1.
    [[nodiscard]] double BandLevel(int b) const { return bandLevels_.at(static_cast<std::size_t>(b)); }

private:
    [[nodiscard]] static float BandWeight(std::int32_t position, std::int32_t length);

    static constexpr int kPoints = 1024;
    static constexpr int kBins = kPoints / 2 + 1;

    std::array<double, kBands> bandLevels_{};
    std::unique_ptr<clsFourier> fourier_;
    // The display tick draws the same block until the next one arrives: the number of
    // the last transformed block and its scaled magnitudes, so it is not repeated.
    std::optional<std::uint64_t> lastBlock_;
    std::size_t lastStride_ = 0;
    std::array<float, kBins> lastMagnitudes_{};
};

}  // namespace quillon
