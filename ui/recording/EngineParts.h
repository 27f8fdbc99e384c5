#pragma once

// The real capture engine, encoder and effects chain behind their ports. Each
// is made in its own source file: their platform headers do not mix.
#include <memory>

#include "ui/recording/RecordingControl.h"

namespace quillon {

class clsDSP;
class EncoderWAV;
class WaveInRecorder;
struct CaptureBackend;

class OwnedCapture : public CapturePort {
public:
    [[nodiscard]] virtual WaveInRecorder* object() = 0;
};

class OwnedEncoder : public EncoderPort {
public:
    [[nodiscard]] virtual EncoderWAV* object() = 0;
};

class OwnedEffects : public EffectsPort {
public:
    [[nodiscard]] virtual clsDSP* object() = 0;
};

std::unique_ptr<OwnedCapture> MakeCapturePart(const CaptureBackend& backend);
std::unique_ptr<OwnedEncoder> MakeEncoderPart();
std::unique_ptr<OwnedEffects> MakeEffectsPart();

}  // namespace quillon
