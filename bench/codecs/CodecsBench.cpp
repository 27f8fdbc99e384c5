// Encode throughput per codec. The "realtime" counter is seconds of audio encoded per second of
// CPU: above 1 the codec keeps up with capture, and the margin says how much.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "encoder/codecs/G711Encoder.h"
#include "encoder/codecs/GsmEncoder.h"
#include "encoder/codecs/ImaAdpcmEncoder.h"
#include "encoder/codecs/MsAdpcmEncoder.h"

namespace {

using quillon::BlockEncoder;

// One second of a tone with a little noise, so the adaptive codecs do real work.
std::vector<std::int16_t> signal(std::uint32_t rate, int channels, std::size_t frames)
{
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0.0, 300.0);
    std::vector<std::int16_t> out(frames * static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < out.size(); ++i) {
        // NOLINTNEXTLINE(bugprone-integer-division): the frame's index, whole frames meant
        const double t = static_cast<double>(i / static_cast<std::size_t>(channels)) / rate;
        const double v = 12000.0 * std::sin(2.0 * std::numbers::pi * 440.0 * t) + noise(random);
        out[i] = static_cast<std::int16_t>(std::lround(v));
    }
    return out;
}

void run(benchmark::State& state, BlockEncoder& encoder, std::uint32_t rate)
{
    const std::size_t blocks = (rate + encoder.framesPerBlock() - 1) / encoder.framesPerBlock();
    const auto pcm = signal(rate, encoder.channels(), blocks * encoder.framesPerBlock());
    std::vector<std::uint8_t> out(blocks * encoder.bytesPerBlock());
    for (auto _ : state) {
        benchmark::DoNotOptimize(encoder.encode(pcm, out));
        benchmark::ClobberMemory();
    }
    const double seconds = static_cast<double>(blocks * encoder.framesPerBlock()) / rate;
    state.counters["realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsIterationInvariantRate);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(pcm.size() * sizeof(std::int16_t)));
}

void BM_ALaw_44100Stereo(benchmark::State& state)
{
    quillon::G711Encoder encoder(quillon::G711Encoder::Law::ALaw, 44100, 2);
    run(state, encoder, 44100);
}
void BM_MuLaw_44100Stereo(benchmark::State& state)
{
    quillon::G711Encoder encoder(quillon::G711Encoder::Law::MuLaw, 44100, 2);
    run(state, encoder, 44100);
}
void BM_ImaAdpcm_44100Stereo(benchmark::State& state)
{
    quillon::ImaAdpcmEncoder encoder(44100, 2);
    run(state, encoder, 44100);
}
void BM_MsAdpcm_44100Stereo(benchmark::State& state)
{
    quillon::MsAdpcmEncoder encoder(44100, 2);
    run(state, encoder, 44100);
}
void BM_Gsm610_8000Mono(benchmark::State& state)
{
    quillon::GsmEncoder encoder;
    run(state, encoder, 8000);
}

BENCHMARK(BM_ALaw_44100Stereo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MuLaw_44100Stereo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ImaAdpcm_44100Stereo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MsAdpcm_44100Stereo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Gsm610_8000Mono)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
