#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <vector>

#include "encoder/EncoderWAV.h"
#include "encoder/acm/AcmPcm.h"

namespace {

constexpr std::int32_t kBlockBytes = 10240;  // one capture buffer

std::vector<std::uint8_t> toneBlock(int rate, int channels)
{
    std::vector<std::uint8_t> bytes(kBlockBytes);
    const int frames = kBlockBytes / (2 * channels);
    for (int i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int16_t>(std::lround(12000.0 * std::sin(2.0 * M_PI * 1000.0 * i / rate)));
        for (int c = 0; c < channels; ++c) {
            quillon::putLE16(&bytes[2 * (static_cast<std::size_t>(i) * static_cast<std::size_t>(channels) +
                                         static_cast<std::size_t>(c))],
                             static_cast<std::uint16_t>(v));
        }
    }
    return bytes;
}

// Reports bytes of capture consumed per second and how many times faster than real time.
void report(benchmark::State& state, int rate, int channels)
{
    const auto bytes = static_cast<double>(state.iterations()) * kBlockBytes;
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["realtime_x"] = benchmark::Counter(bytes / (2.0 * channels * rate), benchmark::Counter::kIsRate);
}

void encode(benchmark::State& state, std::uint32_t outRate, std::uint16_t outChannels, std::uint16_t bits, bool isFloat)
{
    constexpr int rate = 44100;
    constexpr int channels = 2;
    quillon::EncoderWAV enc;
    enc.WriteHeader(false);
    const auto format = quillon::acm::acmPcmFormat(outRate, outChannels, bits, isFloat);
    enc.SetFormat(format.data(), static_cast<std::int32_t>(format.size()), "", "");
    if (enc.Encoder_EncoderInit(rate, channels, "/dev/null") != 0) {
        state.SkipWithError("init failed");
        return;
    }
    const auto block = toneBlock(rate, channels);
    for (auto _ : state) {
        std::int32_t used = 0;
        benchmark::DoNotOptimize(enc.Encoder_Encode(block.data(), kBlockBytes, used));
    }
    enc.Encoder_EncoderClose();
    report(state, rate, channels);
}

void BM_WritePeer(benchmark::State& state)
{
    const int fd = ::open("/dev/null", O_WRONLY);
    const auto block = toneBlock(44100, 2);
    for (auto _ : state) {
        benchmark::DoNotOptimize(::write(fd, block.data(), block.size()));
    }
    ::close(fd);
    report(state, 44100, 2);
}
BENCHMARK(BM_WritePeer);

void BM_Pcm16Same(benchmark::State& state)
{
    encode(state, 44100, 2, 16, false);
}
BENCHMARK(BM_Pcm16Same);

void BM_Pcm16To8(benchmark::State& state)
{
    encode(state, 44100, 2, 8, false);
}
BENCHMARK(BM_Pcm16To8);

void BM_Pcm16To24(benchmark::State& state)
{
    encode(state, 44100, 2, 24, false);
}
BENCHMARK(BM_Pcm16To24);

void BM_Pcm16ToFloat(benchmark::State& state)
{
    encode(state, 44100, 2, 32, true);
}
BENCHMARK(BM_Pcm16ToFloat);

void BM_Resample44100To22050Stereo(benchmark::State& state)
{
    encode(state, 22050, 2, 16, false);
}
BENCHMARK(BM_Resample44100To22050Stereo);

void BM_Resample44100To22050Mono(benchmark::State& state)
{
    encode(state, 22050, 1, 16, false);
}
BENCHMARK(BM_Resample44100To22050Mono);

void BM_Resample44100To48000Stereo(benchmark::State& state)
{
    encode(state, 48000, 2, 16, false);
}
BENCHMARK(BM_Resample44100To48000Stereo);

}  // namespace

BENCHMARK_MAIN();
