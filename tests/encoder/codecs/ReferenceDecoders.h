#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Small decoders written from the codecs' published descriptions, independent of the encoders
// under test: the tests judge the encoders by what a decoder gets back.
namespace quillon::test {

std::int16_t ALawToLinear(std::uint8_t code);
std::int16_t MuLawToLinear(std::uint8_t code);

// Interleaved 16-bit output of whole blocks.
std::vector<std::int16_t> DecodeImaAdpcm(std::span<const std::uint8_t> data, int channels, std::size_t blockAlign);
std::vector<std::int16_t> DecodeMsAdpcm(std::span<const std::uint8_t> data, int channels, std::size_t blockAlign);

// Signal-to-noise ratio in dB of `decoded` against `reference` over their common length,
// skipping `skip` samples at the start.
double SnrDb(std::span<const std::int16_t> reference, std::span<const std::int16_t> decoded, std::size_t skip = 0);

// A sine of `frequency` Hz at `amplitude` (full scale 1.0), `frames` frames, interleaved; in stereo
// the right channel gets `rightFrequency`.
std::vector<std::int16_t> Tone(double frequency, double rightFrequency, std::uint32_t rate, int channels,
                               std::size_t frames, double amplitude);

}  // namespace quillon::test
