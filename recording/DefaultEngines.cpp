#include "capture/CaptureBackend.h"
#include "recording/MakeEngines.h"

namespace quillon {

std::unique_ptr<Engines> MakeEngines()
{
    return MakeEngines(pulseCaptureBackend());
}

}  // namespace quillon
