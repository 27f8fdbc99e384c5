#pragma once

#include <memory>
#include <vector>

#include "encoder/acm/AcmCodec.h"

namespace quillon::acm {

// The compressed WAV formats: CCITT A-law and mu-law, IMA ADPCM, Microsoft ADPCM, GSM 6.10,
// one driver each, in the order the chooser lists them.
std::vector<std::unique_ptr<AcmDriver>> makeCodecDrivers();

}  // namespace quillon::acm
