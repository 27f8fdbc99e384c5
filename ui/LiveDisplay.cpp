#include "ui/LiveDisplay.h"

#include "ui/PictureBox.h"
#include "ui/recording/DisplayFormat.h"

namespace quillon {

LiveDisplay::LiveDisplay(PictureBox& picAmpl, PictureBox& picFreq, PictureBox& picVUL, PictureBox& picVUR)
    : picAmpl_(picAmpl), picFreq_(picFreq), picVUL_(picVUL), picVUR_(picVUR)
{
}

LiveDisplay::~LiveDisplay() = default;

void LiveDisplay::Draw(std::span<const std::int16_t> intSamples, bool stereo)
{
    if (stereo) {
        leftPeak_ = PeakLevel(intSamples, 0, 2);
        rightPeak_ = PeakLevel(intSamples, 1, 2);
    } else {
        leftPeak_ = rightPeak_ = PeakLevel(intSamples, 0, 1);
    }
    // A silent meter still gets a level, just one too small to show.
    if (leftPeak_ == 0) {
        leftPeak_ = 1;
    }
    if (rightPeak_ == 0) {
        rightPeak_ = 1;
    }
}

}  // namespace quillon
