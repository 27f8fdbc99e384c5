#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillon::test {

using Bytes = std::vector<std::uint8_t>;

// One chunk of a RIFF file; `sizeField` and `pad` let a test write one that lies or is cut.
struct Chunk {
    std::string id;
    Bytes body;
    std::optional<std::uint32_t> sizeField{};  // a lying size, when set
    bool pad = true;                           // the pad byte after an odd body
};

// RIFF/WAVE with the given chunks; `riffSize` replaces the true size.
Bytes riffWave(const std::vector<Chunk>& chunks, std::optional<std::uint32_t> riffSize = {});

// A PCM file laid out as the recorder writes it: RIFF, fmt (18 bytes, no pad), data, audio.
// Every field can be set wrong on purpose; unset sizes are the true ones.
struct WavLayout {
    std::uint16_t channels = 2;
    std::uint32_t rate = 44100;
    std::uint16_t bits = 16;
    std::optional<std::uint16_t> blockAlign{};  // default channels * bits / 8
    std::uint16_t fmtSize = 18;                 // 16: without cbSize; beyond 18: filled with 0x5a
    bool padFmt = false;
    std::optional<std::uint32_t> riffSize{};
    std::optional<std::uint32_t> dataSize{};
    Bytes audio{};
};
Bytes wavBytes(const WavLayout& layout);

// `count` bytes of a pattern that no shift or cut leaves unchanged.
Bytes patternBytes(std::size_t count);

// A 44.1 kHz stereo 16-bit recording as a crash leaves it: both sizes still zero, `audioBytes`
// of patternBytes after the 46-byte header.
Bytes cutRecording(std::size_t audioBytes);

}  // namespace quillon::test
