#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillon {

// A 16-bit PCM WAV file's audio: interleaved samples, left first in stereo.
struct WavAudio {
    std::int32_t sampleRate = 0;
    std::int16_t channels = 0;
    std::vector<std::int16_t> samples;
};

struct WavReadResult {
    std::optional<WavAudio> audio;
    std::string error;  // why the bytes were refused, one line; empty on success
};

inline constexpr std::int32_t kWavReaderMaxRate = 96000;

// Reads a RIFF/WAVE image holding 16-bit PCM, mono or stereo, 1 to 96000 Hz. Anything else
// (other encodings, sizes that overrun the bytes, missing or repeated chunks) is refused with a
// reason. Never reads outside `bytes`.
WavReadResult ReadWav(std::span<const std::uint8_t> bytes);
// ReadWav over a whole file; a file that cannot be read is refused too.
WavReadResult ReadWavFile(const std::string& path);

}  // namespace quillon
