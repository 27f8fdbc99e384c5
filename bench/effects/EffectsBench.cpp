#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <random>
#include <span>
#include <vector>

#include "ReferenceChain.h"
#include "effects/DspKernels.h"
#include "effects/IIRFilter.h"
#include "effects/clsDSP.h"

namespace {

using quillon::clsDSP;

constexpr int kRate = 44100;
constexpr std::size_t kBufferBytes = 10240;  // one capture buffer
constexpr std::size_t kSamples = kBufferBytes / sizeof(int16_t);

// Music-like input: two tones and noise, different on each channel.
std::vector<int16_t> Input(int channels)
{
    std::mt19937 gen(1);
    std::normal_distribution<double> noise(0.0, 1500.0);
    std::vector<int16_t> v(kSamples);
    for (std::size_t i = 0; i < kSamples; ++i) {
        // NOLINTNEXTLINE(bugprone-integer-division): the frame's index, whole frames meant
        const double t = static_cast<double>(i / static_cast<std::size_t>(channels)) / kRate;
        const double f = (i % 2 == 0 || channels == 1) ? 440.0 : 660.0;
        v[i] = static_cast<int16_t>(std::lround(8000.0 * std::sin(2.0 * std::numbers::pi * f * t) +
                                                3000.0 * std::sin(2.0 * std::numbers::pi * 3.1 * f * t) + noise(gen)));
    }
    return v;
}

void SetCounters(benchmark::State& state, int channels)
{
    const auto samples = static_cast<double>(state.iterations()) * static_cast<double>(kSamples);
    state.counters["samples/s"] = benchmark::Counter(samples, benchmark::Counter::kIsRate);
    // seconds of sound processed per second of time
    state.counters["x_realtime"] = benchmark::Counter(samples / channels / kRate, benchmark::Counter::kIsRate);
}

// Each iteration copies the captured buffer and `process` works on it in place, as the
// recorder does.
template <typename Process>
void RunOnCapturedBuffers(benchmark::State& state, int channels, Process process)
{
    const auto input = Input(channels);
    std::vector<int16_t> block(kSamples);
    for (auto _ : state) {
        std::memcpy(block.data(), input.data(), kBufferBytes);
        process(std::span<int16_t>(block));
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    SetCounters(state, channels);
}

clsDSP MakeChain(int channels, int effects)
{
    clsDSP dsp;
    dsp.samplerate(kRate);
    dsp.Channels(static_cast<int16_t>(channels));
    dsp.EffectsUsed(effects);
    const float gains[] = {6.0f, -3.0f, 2.0f, 12.0f, -6.0f, 4.0f, -12.0f};
    for (int i = 0; i < 7; ++i) {
        dsp.EqualizerBandGainDB(i, gains[i]);
    }
    return dsp;
}

void BM_ProcessSamples(benchmark::State& state)
{
    const auto effects = static_cast<int>(state.range(0));
    const auto channels = static_cast<int>(state.range(1));
    clsDSP dsp = MakeChain(channels, effects);
    RunOnCapturedBuffers(state, channels, [&](std::span<int16_t> block) { dsp.ProcessSamples(block); });
}
BENCHMARK(BM_ProcessSamples)
    ->ArgNames({"effects", "channels"})
    ->Args({clsDSP::kAmplify, 2})
    ->Args({clsDSP::kEcho, 2})
    ->Args({clsDSP::kPhaseShift, 2})
    ->Args({clsDSP::kEqualizer, 2})
    ->Args({15, 2})
    ->Args({15, 1});

// The equalizer and the whole chain on each instruction set the processor has (0 SSE2,
// 1 AVX2, 2 AVX-512); the runs above use the best one.
void BM_InstructionSet(benchmark::State& state)
{
    const auto effects = static_cast<int>(state.range(0));
    const auto channels = static_cast<int>(state.range(1));
    const auto level = static_cast<quillon::dsp::SimdLevel>(state.range(2));
    if (quillon::dsp::UseSimdLevel(level) != level) {
        state.SkipWithError("not supported by this processor");
        quillon::dsp::UseSimdLevel(quillon::dsp::SupportedSimdLevel());
        return;
    }
    clsDSP dsp = MakeChain(channels, effects);
    RunOnCapturedBuffers(state, channels, [&](std::span<int16_t> block) { dsp.ProcessSamples(block); });
    quillon::dsp::UseSimdLevel(quillon::dsp::SupportedSimdLevel());
}
BENCHMARK(BM_InstructionSet)
    ->ArgNames({"effects", "channels", "simd"})
    ->ArgsProduct({{clsDSP::kEqualizer, 15}, {2, 1}, {0, 1, 2}});

// The plain per-sample loop the tests compare against, all four effects.
void BM_ReferenceLoop(benchmark::State& state)
{
    const auto channels = static_cast<int>(state.range(0));
    quillon::test::ReferenceChain::Settings s;
    s.channels = channels;
    s.bandGains = {6.0f, -3.0f, 2.0f, 12.0f, -6.0f, 4.0f, -12.0f};
    quillon::test::ReferenceChain ref(s);
    RunOnCapturedBuffers(state, channels, [&](std::span<int16_t> block) { ref.Process(block); });
}
BENCHMARK(BM_ReferenceLoop)->ArgName("channels")->Arg(2)->Arg(1);

// Silence after a loud passage: the filter and phase-shifter state decays towards the
// denormal range, which must not slow processing down.
void BM_SilentTailAfterLoudSound(benchmark::State& state)
{
    clsDSP dsp = MakeChain(2, 15);
    auto loud = Input(2);
    for (auto& s : loud) {
        s = static_cast<int16_t>(s > 0 ? 32767 : -32768);
    }
    for (int k = 0; k < 10; ++k) {
        auto b = loud;
        dsp.ProcessSamples(b);
    }
    std::vector<int16_t> block(kSamples);
    for (auto _ : state) {
        std::memset(block.data(), 0, kBufferBytes);
        dsp.ProcessSamples(block);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    SetCounters(state, 2);
}
BENCHMARK(BM_SilentTailAfterLoudSound);

// One band filter on its own.
void BM_IIRFilterBand(benchmark::State& state)
{
    quillon::IIRFilter f;
    f.Channels(2);
    f.CreateBiquadIIR(quillon::IIRFilter::Peaking, 12.0f, 1084.0f, kRate, 1.3f);
    RunOnCapturedBuffers(state, 2, [&](std::span<int16_t> block) { f.ProcessSamples_16bit(block); });
}
BENCHMARK(BM_IIRFilterBand);

}  // namespace

BENCHMARK_MAIN();
