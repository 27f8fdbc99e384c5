#pragma once

#include <memory>

#include "capture/Mixer.h"
#include "capture/WaveIn.h"

namespace quillon {

// The wave-input and mixer services a WaveInRecorder works on. Tests hand in
// the fakes of capture/fake; the program uses the sound server's.
struct CaptureBackend {
    std::shared_ptr<WaveIn> waveIn;
    std::shared_ptr<Mixer> mixer;
};

// Both services on the sound server (PulseAudio), sharing one connection.
CaptureBackend pulseCaptureBackend();

}  // namespace quillon
