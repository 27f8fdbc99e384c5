#pragma once

// The phase shifter and the equalizer's cascade in one pass over whole frames, for AVX2 and
// AVX-512. These kernels live in translation units of their own, built for their instruction
// set, so they see the effects' state only as the plain data below, and share with the rest of
// the library (which must run on any x86-64) only code of internal linkage: the arithmetic of
// DspArithmetic.h, bit for bit.

#include <cstddef>
#include <cstdint>

namespace quillon::dsp::simd {

// The most bands the kernels take (three AVX-512 registers of stereo bands); the callers
// use the SSE2 path beyond.
inline constexpr int kMaxBands = 12;

struct PhaseLanes {
    float dry;
    float wet;
    float feedback;
    float sweepMin;
    float sweepMax;
    float sweepValue;
    float sweepStep;
    float sweepStepInverse;
    float sweepMultiplier;
    float stageIn[2][4];  // [channel][stage]
    float stageOut[2][4];
};

struct BandLanes {
    float b0;
    float b1;
    float b2;
    float a1;
    float a2;
    float x1[2];  // [channel]
    float x2[2];
    float y1[2];
    float y2[2];
};

// nFrames whole frames at `frames` (interleaved when channels is 2): through the phase
// shifter when `phase` is set, then through bands[0], bands[1], ... in turn, each taking the
// previous one's 16-bit output. 1 <= nBands <= kMaxBands.
struct Job {
    int16_t* frames;
    std::size_t nFrames;
    int channels;
    PhaseLanes* phase;
    BandLanes* bands;
    int nBands;
};

// Each exists only where the compiler can build it; call only when the processor has it.
void RunAvx2(const Job& job);
void RunAvx512(const Job& job);

}  // namespace quillon::dsp::simd
