#pragma once

#include <algorithm>
#include <cstdint>

namespace quillon {

// The mixer's volume runs 0...65535; the sound server's 0...65536 is 0 to 100 %
// (and beyond, amplified). Full mixer volume is exactly 100 %.
inline constexpr std::uint64_t kServerVolumeNorm = 0x10000;
inline constexpr std::uint64_t kServerVolumeMax = 0x7FFFFFFF;
inline constexpr std::uint64_t kMixerVolumeFull = 0xFFFF;

inline std::uint32_t mixerToServerVolume(std::uint32_t volume)
{
    const std::uint64_t scaled = (volume * kServerVolumeNorm + kMixerVolumeFull / 2) / kMixerVolumeFull;
    return static_cast<std::uint32_t>(std::min(scaled, kServerVolumeMax));
}

inline std::uint32_t serverToMixerVolume(std::uint32_t volume)
{
    return static_cast<std::uint32_t>((volume * kMixerVolumeFull + kServerVolumeNorm / 2) / kServerVolumeNorm);
}

}  // namespace quillon
