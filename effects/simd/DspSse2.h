#pragma once

// The loops over whole frames that every x86-64 runs (SSE2), the channels of a frame side by
// side; built elsewhere with a portable stand-in of the same arithmetic.

#include <cstddef>
#include <cstdint>
#include <span>

#include "effects/DspKernels.h"

namespace quillon::dsp::simd {

// The most bands the cascade keeps in registers; the caller runs longer cascades in parts.
inline constexpr std::size_t kMaxCascade = 16;

// nFrames whole frames of `channels` (1 or 2) through sections[0], sections[1], ... in turn.
void CascadeFramesSse2(int16_t* frames, std::size_t nFrames, int channels, std::span<BiquadSection* const> sections);

// nFrames whole frames through the phase shifter, the sweep advancing once per frame.
void PhaseFramesSse2(int16_t* frames, std::size_t nFrames, int channels, PhaseShifterState& st);

// As many leading samples as the vector loop takes (the rest is the plain loop's); returns
// their count.
std::size_t AmplifySse2(std::span<int16_t> block, float factor);
std::size_t EchoSse2(int16_t* block, int16_t* line, std::size_t n, double gain);

}  // namespace quillon::dsp::simd
