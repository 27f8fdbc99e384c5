#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
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

// The same file read piece by piece: the header is checked at open exactly as ReadWav checks
// it, then the samples go from the file straight into the caller's buffer, so a long file
// needs neither its size in memory nor a copy of every sample.
class WavFileReader {
public:
    // A reader for `path`, or none with `error` set to why it was refused.
    static std::optional<WavFileReader> open(const std::string& path, std::string& error);

    [[nodiscard]] std::int32_t sampleRate() const { return sampleRate_; }
    [[nodiscard]] std::int16_t channels() const { return channels_; }
    [[nodiscard]] std::uint64_t samplesLeft() const { return samplesLeft_; }
    // Fills `out` with the next samples, at most samplesLeft(); returns how many it read, fewer
    // than asked only at the end of the data or when the file could no longer be read
    // (failed() then says so).
    std::size_t read(std::span<std::int16_t> out);
    [[nodiscard]] bool failed() const { return failed_; }

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    std::int32_t sampleRate_ = 0;
    std::int16_t channels_ = 0;
    std::uint64_t samplesLeft_ = 0;
    bool failed_ = false;
};

}  // namespace quillon
