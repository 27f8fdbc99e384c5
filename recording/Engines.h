#pragma once

#include "recording/RecordingControl.h"

namespace quillon {

class clsDSP;
class EncoderWAV;
class WaveInRecorder;

// The capture engine, encoder and effects chain the main window owns from its
// load to its unload.
class Engines {
public:
    virtual ~Engines() = default;
    virtual CapturePort& capture() = 0;
    virtual EncoderPort& encoder() = 0;
    virtual EffectsPort& effects() = 0;
    // Unload: the capture engine first, then the encoder; their own clean-up
    // closes any open device and file. Nothing may use them afterwards.
    virtual void Release() = 0;

    // The objects behind the ports, for the windows that work on them directly
    // (effects settings, format chooser); null where there are none (tests).
    virtual clsDSP* clsEffects() { return nullptr; }
    virtual EncoderWAV* clsEncoder() { return nullptr; }
    virtual WaveInRecorder* clsRecorder() { return nullptr; }
};

}  // namespace quillon
