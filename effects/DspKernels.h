#pragma once

// The effects' loops over blocks of samples, shared by clsDSP and IIRFilter. Every path (the
// plain loop, SSE2, AVX2, AVX-512) computes the same samples; the arithmetic they share is in
// DspArithmetic.h.
//
// Blocks are interleaved when `channels` is 2. Each channel has its own state; `firstChannel`
// is the channel of the block's first sample, so a frame split across two blocks is still
// handled as one frame.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quillon::dsp {

inline constexpr int kMaxChannels = 2;

struct BiquadCoefficients {
    float b0 = 0.0f;
    float b1 = 0.0f;
    float b2 = 0.0f;
    float a1 = 0.0f;
    float a2 = 0.0f;
};

// Last and second-last input and output of one channel, normalised.
struct BiquadHistory {
    float x1 = 0.0f;
    float x2 = 0.0f;
    float y1 = 0.0f;
    float y2 = 0.0f;
};

struct BiquadSection {
    BiquadCoefficients k;
    std::array<BiquadHistory, kMaxChannels> history{};
};

struct PhaseShifterState {
    float dry = 1.0f;
    float wet = 1.0f;
    float feedback = 0.5f;
    float sweepMin = 0.0f;
    float sweepMax = 0.0f;
    float sweepValue = 0.0f;
    float sweepStep = 0.0f;
    float sweepStepInverse = 0.0f;
    float sweepMultiplier = 0.0f;
    // Previous input and output of each of the four all-pass stages, per channel.
    std::array<std::array<float, 4>, kMaxChannels> stageIn{};
    std::array<std::array<float, 4>, kMaxChannels> stageOut{};
};

// Multiplies every sample by `factor`, rounding the product to a float before the write.
void Amplify(std::span<int16_t> block, float factor);

// Feedback delay over `line`, which holds L frames of interleaved channels; `cursor` is the
// index in `line` of the next sample. Each sample meets the entry of its own channel.
void Echo(std::span<int16_t> block, std::span<int16_t> line, std::size_t& cursor, float gain);

// Four all-pass stages with feedback; the sweep advances once per frame.
void PhaseShift(std::span<int16_t> block, PhaseShifterState& state, int channels, int firstChannel);

// Runs the block through `sections` in order, each stage taking the previous one's 16-bit
// output, exactly as if each section filtered the whole block in turn.
void BiquadCascade16(std::span<int16_t> block, std::span<BiquadSection* const> sections, int channels,
                     int firstChannel);

// PhaseShift, then BiquadCascade16, over the same block in one pass: the equalizer's bands
// work on the frames the phase shifter has just produced, so the shifter's serial recurrence
// and the bands' arithmetic overlap. Same samples and state as the two calls.
void PhaseShiftThenCascade16(std::span<int16_t> block, PhaseShifterState& phase,
                             std::span<BiquadSection* const> sections, int channels, int firstChannel);

// Instruction sets for the equalizer and the fused pass: the best the processor has is used
// unless a lower one is chosen (tests and benchmarks compare them). The arithmetic, and so
// every sample, is the same on each.
enum class SimdLevel { Sse2 = 0, Avx2 = 1, Avx512 = 2 };
SimdLevel SupportedSimdLevel();
SimdLevel ActiveSimdLevel();
// Chooses `level`, or the supported one when the processor lacks it; returns the one in use.
SimdLevel UseSimdLevel(SimdLevel level);

// The same recurrence for unsigned 8-bit samples (128 = silence).
void Biquad8(std::span<uint8_t> block, BiquadSection& section, int channels, int firstChannel);

}  // namespace quillon::dsp
