#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "encoder/acm/AcmCodec.h"

namespace quillon::acm {

// PCM (8/16/24/32-bit integer, tag 1) and 32-bit float (tag 3) at any rate, 1 or 2 channels.
std::unique_ptr<AcmDriver> makePcmDriver();

// 18-byte format record of integer PCM (isFloat false) or IEEE float (isFloat true, bits 32).
std::vector<std::uint8_t> acmPcmFormat(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits, bool isFloat);
// How the chooser describes a PCM format: "44.1 kHz 16 Bit Stereo", "22.05 kHz 8 Bit Mono".
std::string acmPcmDescription(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels);

}  // namespace quillon::acm
