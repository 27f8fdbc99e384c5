#pragma once

#include <memory>

#include "ui/recording/Engines.h"

namespace quillon {

// The program's capture engine (on the sound server), encoder and effects chain.
std::unique_ptr<Engines> MakeEngines();

}  // namespace quillon
