#include <memory>

#include "capture/CaptureBackend.h"
#include "capture/pulse/PulseConnection.h"
#include "capture/pulse/PulseMixer.h"
#include "capture/pulse/PulseWaveIn.h"

namespace quillon {

CaptureBackend pulseCaptureBackend()
{
    auto connection = std::make_shared<pulse::PulseConnection>();
    return CaptureBackend{std::make_shared<pulse::PulseWaveIn>(connection),
                          std::make_shared<pulse::PulseMixer>(connection)};
}

}  // namespace quillon
