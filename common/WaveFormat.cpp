#include "common/WaveFormat.h"

#include <cmath>

namespace quillon {

std::vector<std::uint8_t> WaveFormatEx::bytes() const
{
    std::vector<std::uint8_t> out(kWaveFormatExSize);
    putLE16(&out[0], wFormatTag);
    putLE16(&out[2], nChannels);
    putLE32(&out[4], nSamplesPerSec);
    putLE32(&out[8], nAvgBytesPerSec);
    putLE16(&out[12], nBlockAlign);
    putLE16(&out[14], wBitsPerSample);
    putLE16(&out[16], cbSize);
    return out;
}

std::optional<WaveFormatEx> WaveFormatEx::parse(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < kWaveFormatExSize) {
        return std::nullopt;
    }
    const std::uint8_t* p = bytes.data();
    WaveFormatEx f;
    f.wFormatTag = getLE16(p);
    f.nChannels = getLE16(p + 2);
    f.nSamplesPerSec = getLE32(p + 4);
    f.nAvgBytesPerSec = getLE32(p + 8);
    f.nBlockAlign = getLE16(p + 12);
    f.wBitsPerSample = getLE16(p + 14);
    f.cbSize = getLE16(p + 16);
    return f;
}

WaveFormatEx MakePCMFormat(std::int32_t rate, std::int16_t channels, std::int16_t bits)
{
    WaveFormatEx f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = static_cast<std::uint16_t>(channels);
    f.nSamplesPerSec = static_cast<std::uint32_t>(rate);
    // nearbyint rounds halves to even, as every float-to-integer step of the program does.
    const double align = std::nearbyint(static_cast<double>(bits) / 8.0 * static_cast<double>(channels));
    f.nBlockAlign = static_cast<std::uint16_t>(static_cast<std::int64_t>(align));
    f.nAvgBytesPerSec = static_cast<std::uint32_t>(f.nBlockAlign) * static_cast<std::uint32_t>(rate);
    f.wBitsPerSample = static_cast<std::uint16_t>(bits);
    f.cbSize = 0;
    return f;
}

}  // namespace quillon
