#pragma once

#include <memory>

#include "recording/Engines.h"

namespace quillon {

struct CaptureBackend;

// The program's capture engine (on the sound server), encoder and effects chain.
std::unique_ptr<Engines> MakeEngines();
// The same on the given wave-input and mixer services (the fakes, in tests).
std::unique_ptr<Engines> MakeEngines(const CaptureBackend& backend);

}  // namespace quillon
