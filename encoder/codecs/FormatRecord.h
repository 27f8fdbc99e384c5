#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/WaveFormat.h"

namespace quillon {

// Format tags of the compressed WAV formats Quillon writes.
inline constexpr std::uint16_t WAVE_FORMAT_ADPCM = 0x0002;
inline constexpr std::uint16_t WAVE_FORMAT_ALAW = 0x0006;
inline constexpr std::uint16_t WAVE_FORMAT_MULAW = 0x0007;
inline constexpr std::uint16_t WAVE_FORMAT_IMA_ADPCM = 0x0011;
inline constexpr std::uint16_t WAVE_FORMAT_GSM610 = 0x0031;

// `header` as stored, with cbSize set to extra.size(), followed by the extra bytes.
std::vector<std::uint8_t> BuildFormatRecord(WaveFormatEx header, std::span<const std::uint8_t> extra);

// Appends a little-endian 16-bit value; the extra bytes of every codec are made of these.
void AppendLE16(std::vector<std::uint8_t>& out, std::uint16_t value);

}  // namespace quillon
