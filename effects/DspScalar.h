#pragma once

// The plain loop: one sample of one channel at a time, straight from the arithmetic of
// DspArithmetic.h. It takes the samples of a frame split between two blocks and the ends the
// vector loops leave over.

#include <cstddef>
#include <cstdint>
#include <span>

#include "effects/DspKernels.h"

namespace quillon::dsp::scalar {

// A sample of channel `ch` through the phase shifter at the current sweep value; the caller
// advances the sweep once per frame.
int16_t PhaseSample(PhaseShifterState& st, int ch, int16_t s);

// A sample of channel `ch` through `sections` in order.
int16_t CascadeSample(int16_t s, std::span<BiquadSection* const> sections, int ch);

void Amplify(std::span<int16_t> block, float factor);

// `n` samples at `block` against the delay line entries at `line`, none met twice.
void Echo(int16_t* block, int16_t* line, std::size_t n, double gain);

}  // namespace quillon::dsp::scalar
