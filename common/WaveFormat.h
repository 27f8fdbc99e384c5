#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quillon {

inline constexpr std::uint16_t WAVE_FORMAT_PCM = 1;
inline constexpr std::uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;
inline constexpr std::size_t kWaveFormatExSize = 18;

// WAVEFORMATEX: the 18-byte little-endian record that heads every format (and the fmt chunk);
// the capture device is opened with one too.
struct WaveFormatEx {
    std::uint16_t wFormatTag = 0;
    std::uint16_t nChannels = 0;
    std::uint32_t nSamplesPerSec = 0;
    std::uint32_t nAvgBytesPerSec = 0;
    std::uint16_t nBlockAlign = 0;
    std::uint16_t wBitsPerSample = 0;
    std::uint16_t cbSize = 0;

    // The 18 bytes as they are stored in a file.
    [[nodiscard]] std::vector<std::uint8_t> bytes() const;
    // Reads the first 18 bytes; nullopt when there are fewer.
    [[nodiscard]] static std::optional<WaveFormatEx> parse(std::span<const std::uint8_t> bytes);

    friend bool operator==(const WaveFormatEx&, const WaveFormatEx&) = default;
};

// A PCM format: block align is bits / 8 x channels rounded to the nearest integer,
// bytes per second block align x rate (the 32-bit field wraps as the platform's does).
WaveFormatEx MakePCMFormat(std::int32_t rate, std::int16_t channels, std::int16_t bits);

// Little-endian helpers for the record and the files and formats built around it.
inline void putLE16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void putLE32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}
inline std::uint16_t getLE16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t getLE32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace quillon
