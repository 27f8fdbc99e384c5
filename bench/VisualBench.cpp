#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <benchmark/benchmark.h>

#include "visual/Surface.h"
#include "visual/clsDraw.h"
#include "visual/clsFourier.h"
#include "visual/clsSmooth.h"
#include "visual/modDraw.h"

namespace {

std::vector<std::int16_t> testTone(std::size_t samples)
{
    std::vector<std::int16_t> block(samples);
    for (std::size_t i = 0; i < samples; ++i) {
        block[i] = static_cast<std::int16_t>(std::lround(12000.0 * std::sin(0.07 * static_cast<double>(i)) +
                                                         4000.0 * std::sin(0.61 * static_cast<double>(i))));
    }
    return block;
}

// What the spectrum does per frame: 1024 windowed inputs, then the 513 magnitudes.
void BM_Fourier1024_All513Magnitudes(benchmark::State& state)
{
    const std::vector<std::int16_t> block = testTone(1024);
    quillon::clsFourier fft;
    fft.NumberOfSamples(1024);
    fft.WithTimeWindow(true);
    for (auto _ : state) {
        for (std::int32_t i = 0; i < 1024; ++i) {
            fft.RealIn(i + 1, block[static_cast<std::size_t>(i)]);
        }
        double sum = 0.0;
        for (std::int32_t k = 1; k <= 513; ++k) {
            sum += fft.ComplexOut(k);
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_Fourier1024_All513Magnitudes)->Unit(benchmark::kMicrosecond);

// The main window's pictures, in pixels (drawing size; the meters have a 2-pixel frame).
constexpr int kScopeWidth = 170;
constexpr int kScopeHeight = 60;
constexpr int kSpectrumWidth = 96;
constexpr int kSpectrumHeight = 60;
constexpr int kMeterWidth = 150;
constexpr int kMeterHeight = 10;

float peak(const std::vector<std::int16_t>& block, std::size_t first, std::size_t stride)
{
    int best = 0;
    for (std::size_t i = first; i < block.size(); i += stride) {
        best = std::max(best, std::abs(static_cast<int>(block[i])));
    }
    return static_cast<float>(std::max(best, 1));
}

// The window's display: oscilloscope, spectrum and two smoothed meters on its picture
// sizes, drawn from one stereo capture buffer as a tick does.
struct Display {
    quillon::Surface scope{kScopeWidth, kScopeHeight, 2};
    quillon::Surface spectrum{kSpectrumWidth, kSpectrumHeight, 2};
    quillon::Surface meterL{kMeterWidth, kMeterHeight, 2};
    quillon::Surface meterR{kMeterWidth, kMeterHeight, 2};
    quillon::clsDraw drawer;
    quillon::clsSmooth smoothL;
    quillon::clsSmooth smoothR;

    Display()
    {
        smoothL.SmoothNew(3);
        smoothR.SmoothNew(3);
    }
    void tick(const std::vector<std::int16_t>& block, std::uint64_t serial)
    {
        drawer.DrawAmplitudes(block, scope);
        drawer.DrawFrequencies(block, spectrum, 2, serial);
        smoothL.SmoothAdd(peak(block, 0, 2));
        smoothR.SmoothAdd(peak(block, 1, 2));
        quillon::modDraw::DrawLevelMeter(meterL, smoothL.SmoothGetMax() / 32768.0F);
        quillon::modDraw::DrawLevelMeter(meterR, smoothR.SmoothGetMax() / 32768.0F);
        benchmark::DoNotOptimize(spectrum.Version());
    }
};

// One display tick while recording stereo, from a full capture buffer (5120 samples),
// the same block every tick. tick_share_pct is the share of the 25 ms tick period spent
// drawing (wall time).
void BM_DisplayTick(benchmark::State& state)
{
    const std::vector<std::int16_t> block = testTone(5120);
    Display display;
    const auto started = std::chrono::steady_clock::now();
    for (auto _ : state) {
        display.tick(block, 1);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    state.counters["tick_share_pct"] = seconds / static_cast<double>(state.iterations()) / 0.025 * 100.0;
}
BENCHMARK(BM_DisplayTick)->Unit(benchmark::kMicrosecond);

// The same, but every tick gets a block it has not drawn before (in the window about 17
// of the 40 ticks a second do; the rest draw the last block again).
void BM_DisplayTick_NewBlock(benchmark::State& state)
{
    std::vector<std::int16_t> blocks[2] = {testTone(5120), testTone(5120)};
    for (auto& sample : blocks[1]) {
        sample = static_cast<std::int16_t>(sample / 2 + 1);
    }
    Display display;
    std::uint64_t tick = 0;
    for (auto _ : state) {
        ++tick;
        display.tick(blocks[tick % 2], tick);
    }
}
BENCHMARK(BM_DisplayTick_NewBlock)->Unit(benchmark::kMicrosecond);

void BM_DrawAmplitudes(benchmark::State& state)
{
    const std::vector<std::int16_t> block = testTone(5120);
    quillon::Surface scope(kScopeWidth, kScopeHeight, 2);
    const quillon::clsDraw drawer;
    for (auto _ : state) {
        drawer.DrawAmplitudes(block, scope);
        benchmark::DoNotOptimize(scope.Version());
    }
}
BENCHMARK(BM_DrawAmplitudes)->Unit(benchmark::kMicrosecond);

void BM_DrawFrequencies_Stereo(benchmark::State& state)
{
    const std::vector<std::int16_t> block = testTone(5120);
    quillon::Surface spectrum(kSpectrumWidth, kSpectrumHeight, 2);
    quillon::clsDraw drawer;
    for (auto _ : state) {
        drawer.DrawFrequencies(block, spectrum, 2);
        benchmark::DoNotOptimize(spectrum.Version());
    }
}
BENCHMARK(BM_DrawFrequencies_Stereo)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
