#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "encoder/acm/AcmCodec.h"

namespace quillon::acm {

// The compressed WAV formats: CCITT A-law and mu-law, IMA ADPCM, Microsoft ADPCM, GSM 6.10,
// one driver each, in the order the chooser lists them.
std::vector<std::unique_ptr<AcmDriver>> makeCodecDrivers();

// The record, tag name and description of compressed format `tag` at `rate` Hz and `channels`
// channels; nullopt when no codec here writes that (GSM 6.10 is 8000 Hz mono only).
std::optional<AcmFormatDetails> acmCodecFormat(std::uint16_t tag, std::uint32_t rate, std::uint16_t channels);

}  // namespace quillon::acm
