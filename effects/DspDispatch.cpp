// The effects' entry points: each splits its block into what the plain loop takes and the
// whole frames, and hands the frames to the best loop the processor has.
#include <algorithm>
#include <array>
#include <atomic>

#include "effects/DspArithmetic.h"
#include "effects/DspKernels.h"
#include "effects/DspScalar.h"
#include "effects/simd/DspSse2.h"

#if defined(QUILLON_X86_SIMD)
#include "effects/simd/DspSimd.h"
#endif

namespace quillon::dsp {
namespace {

// A block in three runs: the rest of a frame begun in the previous block, the whole frames,
// and the start of a frame the next block completes. `sample(i, ch)` takes one sample of a
// partial frame, `frameEnd()` follows the last sample of the frame the block completes (the
// tail's frame ends in the next block), and `frames(first, count)` takes the whole frames.
template <typename Sample, typename FrameEnd, typename Frames>
[[gnu::always_inline]] inline void SplitFrames(std::span<int16_t> block, int channels, int firstChannel, Sample sample,
                                               FrameEnd frameEnd, Frames frames)
{
    std::size_t i = 0;
    const std::size_t n = block.size();
    int ch = firstChannel;
    while (ch != 0 && i < n) {
        sample(i, ch);
        ++i;
        if (++ch == channels) {
            ch = 0;
            frameEnd();
        }
    }
    const auto c = static_cast<std::size_t>(channels);
    const std::size_t nFrames = (n - i) / c;
    if (nFrames > 0) {
        frames(i, nFrames);
    }
    i += nFrames * c;
    for (int tailCh = 0; i < n; ++i, ++tailCh) {
        sample(i, tailCh);
    }
}

SimdLevel DetectSimdLevel()
{
#if defined(QUILLON_X86_SIMD)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq")) {
        return SimdLevel::Avx512;
    }
    if (__builtin_cpu_supports("avx2")) {
        return SimdLevel::Avx2;
    }
#endif
    return SimdLevel::Sse2;
}

std::atomic<SimdLevel>& ChosenLevel()
{
    static std::atomic<SimdLevel> level{SupportedSimdLevel()};
    return level;
}

// Whole frames through the AVX kernels, when one is in use and takes this many bands.
bool RunVectorKernel(int16_t* frames, std::size_t nFrames, int channels, PhaseShifterState* phase,
                     std::span<BiquadSection* const> sections)
{
#if defined(QUILLON_X86_SIMD)
    const SimdLevel level = ActiveSimdLevel();
    if (level == SimdLevel::Sse2 || sections.empty() || sections.size() > static_cast<std::size_t>(simd::kMaxBands)) {
        return false;
    }
    std::array<simd::BandLanes, simd::kMaxBands> bands{};
    for (std::size_t b = 0; b < sections.size(); ++b) {
        const BiquadSection& s = *sections[b];
        simd::BandLanes& d = bands[b];
        d = {s.k.b0, s.k.b1, s.k.b2, s.k.a1, s.k.a2, {}, {}, {}, {}};
        for (std::size_t c = 0; c < static_cast<std::size_t>(kMaxChannels); ++c) {
            d.x1[c] = s.history[c].x1;
            d.x2[c] = s.history[c].x2;
            d.y1[c] = s.history[c].y1;
            d.y2[c] = s.history[c].y2;
        }
    }
    simd::PhaseLanes lanes{};
    if (phase != nullptr) {
        lanes = {phase->dry,
                 phase->wet,
                 phase->feedback,
                 phase->sweepMin,
                 phase->sweepMax,
                 phase->sweepValue,
                 phase->sweepStep,
                 phase->sweepStepInverse,
                 phase->sweepMultiplier,
                 {},
                 {}};
        for (std::size_t c = 0; c < static_cast<std::size_t>(kMaxChannels); ++c) {
            for (std::size_t k = 0; k < 4; ++k) {
                lanes.stageIn[c][k] = phase->stageIn[c][k];
                lanes.stageOut[c][k] = phase->stageOut[c][k];
            }
        }
    }
    const simd::Job job{frames,       nFrames,
                        channels,     phase != nullptr ? &lanes : nullptr,
                        bands.data(), static_cast<int>(sections.size())};
    if (level == SimdLevel::Avx512) {
        simd::RunAvx512(job);
    } else {
        simd::RunAvx2(job);
    }
    for (std::size_t b = 0; b < sections.size(); ++b) {
        BiquadSection& s = *sections[b];
        for (std::size_t c = 0; c < static_cast<std::size_t>(kMaxChannels); ++c) {
            s.history[c] = {bands[b].x1[c], bands[b].x2[c], bands[b].y1[c], bands[b].y2[c]};
        }
    }
    if (phase != nullptr) {
        phase->sweepValue = lanes.sweepValue;
        phase->sweepMultiplier = lanes.sweepMultiplier;
        for (std::size_t c = 0; c < static_cast<std::size_t>(kMaxChannels); ++c) {
            for (std::size_t k = 0; k < 4; ++k) {
                phase->stageIn[c][k] = lanes.stageIn[c][k];
                phase->stageOut[c][k] = lanes.stageOut[c][k];
            }
        }
    }
    return true;
#else
    (void)frames;
    (void)nFrames;
    (void)channels;
    (void)phase;
    (void)sections;
    return false;
#endif
}

}  // namespace

void Amplify(std::span<int16_t> block, float factor)
{
    const std::size_t done = simd::AmplifySse2(block, factor);
    scalar::Amplify(block.subspan(done), factor);
}

void Echo(std::span<int16_t> block, std::span<int16_t> line, std::size_t& cursor, float gain)
{
    if (line.empty()) {
        return;
    }
    const double g = gain;
    std::size_t i = 0;
    const std::size_t n = block.size();
    while (i < n) {
        // Within one run no line entry is met twice, so the samples are independent.
        const std::size_t run = std::min(n - i, line.size() - cursor);
        int16_t* b = block.data() + i;
        int16_t* d = line.data() + cursor;
        const std::size_t done = simd::EchoSse2(b, d, run, g);
        scalar::Echo(b + done, d + done, run - done, g);
        i += run;
        cursor += run;
        if (cursor == line.size()) {
            cursor = 0;
        }
    }
}

void PhaseShift(std::span<int16_t> block, PhaseShifterState& st, int channels, int firstChannel)
{
    SplitFrames(
        block, channels, firstChannel, [&](std::size_t i, int ch) { block[i] = scalar::PhaseSample(st, ch, block[i]); },
        [&] { AdvanceSweep(st); },
        [&](std::size_t first, std::size_t nFrames) {
            simd::PhaseFramesSse2(block.data() + first, nFrames, channels, st);
        });
}

void BiquadCascade16(std::span<int16_t> block, std::span<BiquadSection* const> sections, int channels, int firstChannel)
{
    if (sections.empty()) {
        return;
    }
    if (sections.size() > simd::kMaxCascade) {
        // Filtering a block through sections a then b equals filtering it through a, then b.
        BiquadCascade16(block, sections.first(simd::kMaxCascade), channels, firstChannel);
        BiquadCascade16(block, sections.subspan(simd::kMaxCascade), channels, firstChannel);
        return;
    }
    SplitFrames(
        block, channels, firstChannel,
        [&](std::size_t i, int ch) { block[i] = scalar::CascadeSample(block[i], sections, ch); }, [] {},
        [&](std::size_t first, std::size_t nFrames) {
            if (!RunVectorKernel(block.data() + first, nFrames, channels, nullptr, sections)) {
                simd::CascadeFramesSse2(block.data() + first, nFrames, channels, sections);
            }
        });
}

void PhaseShiftThenCascade16(std::span<int16_t> block, PhaseShifterState& phase,
                             std::span<BiquadSection* const> sections, int channels, int firstChannel)
{
    if (ActiveSimdLevel() == SimdLevel::Sse2 || sections.empty() || sections.size() > simd::kMaxCascade) {
        PhaseShift(block, phase, channels, firstChannel);
        BiquadCascade16(block, sections, channels, firstChannel);
        return;
    }
    // Sample by sample, the phase shifter's output goes straight into the cascade: each
    // effect still sees its samples in order, so this equals the two passes.
    SplitFrames(
        block, channels, firstChannel,
        [&](std::size_t i, int ch) {
            block[i] = scalar::CascadeSample(scalar::PhaseSample(phase, ch, block[i]), sections, ch);
        },
        [&] { AdvanceSweep(phase); },
        [&](std::size_t first, std::size_t nFrames) {
            if (!RunVectorKernel(block.data() + first, nFrames, channels, &phase, sections)) {
                const auto frames = block.subspan(first, nFrames * static_cast<std::size_t>(channels));
                PhaseShift(frames, phase, channels, 0);
                BiquadCascade16(frames, sections, channels, 0);
            }
        });
}

SimdLevel SupportedSimdLevel()
{
    static const SimdLevel level = DetectSimdLevel();
    return level;
}

SimdLevel ActiveSimdLevel()
{
    return ChosenLevel().load(std::memory_order_relaxed);
}

SimdLevel UseSimdLevel(SimdLevel level)
{
    const SimdLevel use =
        static_cast<int>(level) <= static_cast<int>(SupportedSimdLevel()) ? level : SupportedSimdLevel();
    ChosenLevel().store(use, std::memory_order_relaxed);
    return use;
}

}  // namespace quillon::dsp
