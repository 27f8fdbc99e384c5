#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "capture/Mixer.h"

namespace quillon::pulse {

class SourceDirectory;
struct SourceInfo;

// Marks the name of a port that has nothing plugged in.
inline constexpr const char* kUnpluggedMark = " (未插入)";

// A recording line of a source: one per port, or for a source without ports one
// named after the source, switching nothing.
struct RecordingLine {
    std::string name;
    std::uint32_t componentType = 0;
    std::string port;  // empty: the source has no ports
    bool available = true;
};
std::vector<RecordingLine> recordingLines(const SourceInfo& source);

// The mixer of a source, in the shape of a sound card's mixer: one wave-in
// destination whose source lines are the source's ports, with a selector
// (the active port) and a volume per line. As the server has one volume per
// source, every line's volume, and the destination's own, is that volume.
// A source without ports has one line, named after it, with the source's volume.
class PulseMixer final : public Mixer {
public:
    explicit PulseMixer(std::shared_ptr<SourceDirectory> sources);

    bool open(MixerHandle& handle, int device) override;
    bool close(MixerHandle handle) override;
    bool getDevCaps(MixerHandle handle, MixerCaps& caps) override;
    bool getLineInfo(MixerHandle handle, MixerLine& line, std::uint32_t flags) override;
    bool getLineControlsByType(MixerHandle handle, std::uint32_t lineID, std::uint32_t controlType,
                               std::span<MixerControl> controls) override;
    bool getControlDetails(MixerHandle handle, std::uint32_t controlID, std::uint32_t cChannels,
                           std::uint32_t cMultipleItems, std::span<std::uint32_t> values) override;
    bool setControlDetails(MixerHandle handle, std::uint32_t controlID, std::uint32_t cChannels,
                           std::uint32_t cMultipleItems, std::span<const std::uint32_t> values) override;

    // Identifiers of the destination line and its controls.
    static constexpr std::uint32_t kDestinationLine = 0xFFFF0000;
    static constexpr std::uint32_t kSelectorControl = 1;
    static constexpr std::uint32_t kDestinationVolumeControl = 2;
    static constexpr std::uint32_t kLineVolumeControl = 0x100;  // + line index

private:
    std::shared_ptr<SourceDirectory> sources_;
    std::map<MixerHandle, std::string> open_;  // handle -> source name
    MixerHandle next_ = 1;
};

}  // namespace quillon::pulse
