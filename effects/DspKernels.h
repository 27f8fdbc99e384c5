#pragma once

// The per-sample arithmetic of the effects, shared by clsDSP and IIRFilter.
//
// One exact arithmetic, so that the vectorised loops give the same samples as a plain loop:
// - state, coefficients and sweep values are 32-bit floats between samples;
// - within a sample, filters and the phase shifter compute in double precision, left to right
//   as the formulas are written (products of two floats are exact in double, so only the sums
//   round); FMA contraction is switched off for this library;
// - a state value whose magnitude is below the smallest normal float is stored as 0, so the
//   tail after a loud sound never runs on denormals; normal values are never touched;
// - every integer conversion rounds to the nearest, halves to even, after saturation;
//   a NaN (0 × an infinite gain, a diverging filter) is written as silence.
//
// Blocks are interleaved when `channels` is 2. Each channel has its own state; `firstChannel`
// is the channel of the block's first sample, so a frame split across two blocks is still
// handled as one frame.

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>

namespace quillon::dsp {

inline constexpr int kMaxChannels = 2;

// 1.5 * 2^52: adding and subtracting it rounds a double below 2^51 to an integer, halves to even.
inline constexpr double kRoundMagic = 6755399441055744.0;

// IEEE arithmetic without -ffast-math keeps the pair; the vector loops use the same trick.
inline double RoundHalfEven(double v)
{
    return (v + kRoundMagic) - kRoundMagic;
}

// Amplifier and phase-shifter write: saturate, then round; NaN becomes 0.
inline int16_t ClipSample(float v)
{
    if (v > 32767.0f) {
        return 32767;
    }
    if (v < -32768.0f) {
        return -32768;
    }
    if (std::isnan(v)) {
        return 0;
    }
    return static_cast<int16_t>(RoundHalfEven(static_cast<double>(v)));
}

// Stores a state value as a 32-bit float, flushing what would be a denormal to 0.
inline float StoreState(double v)
{
    return std::fabs(v) < static_cast<double>(std::numeric_limits<float>::min()) ? 0.0f : static_cast<float>(v);
}

// Normalised 16-bit input of a filter: s / 32767 rounded to a float.
inline float FilterInput16(int s)
{
    return static_cast<float>(static_cast<double>(s) / 32767.0);
}

// Filter output to 16 bits: full scale beyond ±1, NaN as 0.
inline int16_t FilterOutput16(double y)
{
    if (y > 1.0) {
        return 32767;
    }
    if (y < -1.0) {
        return -32768;
    }
    if (std::isnan(y)) {
        return 0;
    }
    return static_cast<int16_t>(RoundHalfEven(y * 32767.0));
}

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
