#include "ui/recording/EngineParts.h"
#include "ui/recording/MakeEngines.h"

namespace quillon {
namespace {

class RealEngines final : public Engines {
public:
    explicit RealEngines(const CaptureBackend& backend)
        : capture_(MakeCapturePart(backend)), encoder_(MakeEncoderPart()), effects_(MakeEffectsPart())
    {
    }

    CapturePort& capture() override { return *capture_; }
    EncoderPort& encoder() override { return *encoder_; }
    EffectsPort& effects() override { return *effects_; }
    // The capture engine first, then the encoder; nothing may use them afterwards.
    void Release() override
    {
        capture_.reset();
        encoder_.reset();
    }
    clsDSP* clsEffects() override { return effects_->object(); }
    EncoderWAV* clsEncoder() override { return encoder_ ? encoder_->object() : nullptr; }
    WaveInRecorder* clsRecorder() override { return capture_ ? capture_->object() : nullptr; }

private:
    std::unique_ptr<OwnedCapture> capture_;
    std::unique_ptr<OwnedEncoder> encoder_;
    std::unique_ptr<OwnedEffects> effects_;
};

}  // namespace

std::unique_ptr<Engines> MakeEngines(const CaptureBackend& backend)
{
    return std::make_unique<RealEngines>(backend);
}

}  // namespace quillon
