#pragma once

#include <cstdint>
#include <span>

#include "visual/clsDraw.h"
#include "visual/clsSmooth.h"

namespace quillon {

class PictureBox;

// The recording branch of the display tick: oscilloscope, spectrum and the two
// level meters, drawn from the latest processed capture buffer.
class LiveDisplay {
public:
    LiveDisplay(PictureBox& picAmpl, PictureBox& picFreq, PictureBox& picVUL, PictureBox& picVUR);

    // `block` is the samples' serial number: the same number means the same samples.
    void Draw(std::span<const std::int16_t> intSamples, std::uint64_t block, bool stereo);

    // Peaks of the last Draw, 1 for silence.
    [[nodiscard]] std::int32_t LeftPeak() const { return leftPeak_; }
    [[nodiscard]] std::int32_t RightPeak() const { return rightPeak_; }
    [[nodiscard]] const clsDraw& drawer() const { return clsDrawer_; }

private:
    PictureBox& picAmpl_;
    PictureBox& picFreq_;
    PictureBox& picVUL_;
    PictureBox& picVUR_;
    clsDraw clsDrawer_;
    clsSmooth clsSmoothL_;
    clsSmooth clsSmoothR_;
    std::int32_t leftPeak_ = 1;
    std::int32_t rightPeak_ = 1;
    // The tick comes more often than new blocks: the last block drawn (its trace and
    // peaks stay valid while it is the same) and the scope's version right after it
    // was drawn (an untouched picture needs no new trace).
    std::uint64_t block_ = 0;
    bool blockStereo_ = false;
    bool haveBlock_ = false;
    std::uint64_t scopeVersion_ = 0;
    bool scopeDrawn_ = false;
};

}  // namespace quillon
