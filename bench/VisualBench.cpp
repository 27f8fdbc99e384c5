#include <cmath>
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include "visual/clsFourier.h"

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

}  // namespace

BENCHMARK_MAIN();
