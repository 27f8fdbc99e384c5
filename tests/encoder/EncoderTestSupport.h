#pragma once

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "common/WaveFormat.h"

namespace quillon::test {

// Header fields of a file the encoder wrote, read back byte by byte.
struct WavHeader {
    std::string riff, wave, fmt, data;
    std::uint32_t riffSize = 0;
    std::uint32_t fmtSize = 0;
    std::vector<std::uint8_t> format;
    std::uint32_t dataSize = 0;
    std::size_t audioOffset = 0;
};

inline WavHeader parseHeader(const std::vector<std::uint8_t>& file)
{
    WavHeader h;
    if (file.size() < 20) {
        return h;
    }
    h.riff.assign(file.begin(), file.begin() + 4);
    h.riffSize = getLE32(&file[4]);
    h.wave.assign(file.begin() + 8, file.begin() + 12);
    h.fmt.assign(file.begin() + 12, file.begin() + 16);
    h.fmtSize = getLE32(&file[16]);
    if (file.size() < 28 + h.fmtSize) {
        return h;
    }
    h.format.assign(file.begin() + 20, file.begin() + 20 + h.fmtSize);
    h.data.assign(file.begin() + 20 + h.fmtSize, file.begin() + 24 + h.fmtSize);
    h.dataSize = getLE32(&file[24 + h.fmtSize]);
    h.audioOffset = 28 + h.fmtSize;
    return h;
}

// Interleaved 16-bit samples as the capture engine hands them over.
inline std::vector<std::int16_t> randomSamples(std::size_t count, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> dist(-32768, 32767);
    std::vector<std::int16_t> s(count);
    for (auto& v : s) {
        v = static_cast<std::int16_t>(dist(gen));
    }
    return s;
}

inline std::vector<std::int16_t> sineSamples(double frequency, double amplitude, int rate, int channels, int frames)
{
    std::vector<std::int16_t> s(static_cast<std::size_t>(frames * channels));
    for (int i = 0; i < frames; ++i) {
        const double v = amplitude * std::sin(2.0 * M_PI * frequency * i / rate);
        for (int c = 0; c < channels; ++c) {
            s[static_cast<std::size_t>(i) * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
                static_cast<std::int16_t>(std::lround(v));
        }
    }
    return s;
}

inline std::vector<std::uint8_t> toBytes(const std::vector<std::int16_t>& samples)
{
    std::vector<std::uint8_t> b(samples.size() * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        putLE16(&b[2 * i], static_cast<std::uint16_t>(samples[i]));
    }
    return b;
}

// Runs `body` in a child process and returns its exit code (128 + signal when killed).
// For limits (file size) that must not touch the test process itself.
int runInChild(const std::function<int()>& body);

}  // namespace quillon::test
