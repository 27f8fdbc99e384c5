#include "ui/LiveDisplay.h"

#include "recording/DisplayFormat.h"
#include "ui/PictureBox.h"
#include "visual/modDraw.h"

namespace quillon {

LiveDisplay::LiveDisplay(PictureBox& picAmpl, PictureBox& picFreq, PictureBox& picVUL, PictureBox& picVUR)
    : picAmpl_(picAmpl), picFreq_(picFreq), picVUL_(picVUL), picVUR_(picVUR)
{
    clsSmoothL_.SmoothNew(3);
    clsSmoothR_.SmoothNew(3);
}

void LiveDisplay::Draw(std::span<const std::int16_t> intSamples, std::uint64_t block, bool stereo)
{
    // Each picture is repainted once, after its drawing, and only where it changed.
    const bool sameBlock = haveBlock_ && block == block_ && stereo == blockStereo_;
    if (!sameBlock) {
        block_ = block;
        blockStereo_ = stereo;
        haveBlock_ = true;
    }
    {
        const PictureBox::Batch batch(picAmpl_);
        Surface& scope = picAmpl_.surface();
        if (!sameBlock || !scopeDrawn_ || scope.Version() != scopeVersion_) {
            clsDrawer_.DrawAmplitudes(intSamples, scope);
            scopeVersion_ = scope.Version();
            scopeDrawn_ = true;
        }
    }
    {
        const PictureBox::Batch batch(picFreq_);
        clsDrawer_.DrawFrequencies(intSamples, picFreq_.surface(), stereo ? 2 : 1, block);
    }
    if (!sameBlock) {
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
    clsSmoothL_.SmoothAdd(static_cast<float>(leftPeak_));
    clsSmoothR_.SmoothAdd(static_cast<float>(rightPeak_));
    {
        const PictureBox::Batch batch(picVUL_);
        modDraw::DrawLevelMeter(picVUL_.surface(), clsSmoothL_.SmoothGetMax() / 32768.0F);
    }
    {
        const PictureBox::Batch batch(picVUR_);
        modDraw::DrawLevelMeter(picVUR_.surface(), clsSmoothR_.SmoothGetMax() / 32768.0F);
    }
}

}  // namespace quillon
