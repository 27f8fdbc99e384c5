#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

class ByteSource;

// A point in a take: a frame of the written file and what happened there.
struct WavMarker {
    std::uint32_t frame = 0;
    std::string label;
    bool operator==(const WavMarker&) const = default;
};

// A `cue ` chunk with one point per marker, then a `LIST`/`adtl` chunk with one `labl`
// each, as they follow the audio; every chunk has an even length. Empty for no markers.
[[nodiscard]] std::vector<std::uint8_t> MarkerChunks(std::span<const WavMarker> markers);

// While a take is recorded its markers are kept beside it, one line each ("FRAME\tLABEL"),
// until they are written into the file at the stop.
[[nodiscard]] std::filesystem::path MarkerSidePath(const std::filesystem::path& take);
[[nodiscard]] std::string MarkerSideLine(const WavMarker& marker);
// The whole lines of a side file; a torn last line or a line that is not a marker is skipped.
[[nodiscard]] std::vector<WavMarker> ParseMarkerSideFile(std::string_view text);

// The markers of a WAV file, in the order of their cue points, and its sample rate.
struct WavMarkerList {
    std::uint32_t sampleRate = 0;
    std::vector<WavMarker> markers;
};
// Reads the `cue ` and `adtl` chunks wherever they are; none when it is not a WAV file.
[[nodiscard]] std::optional<WavMarkerList> ReadWavMarkers(const ByteSource& source);
[[nodiscard]] std::optional<WavMarkerList> ReadWavMarkersFile(const std::filesystem::path& file);

}  // namespace quillon
