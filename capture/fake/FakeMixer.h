#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "capture/Mixer.h"

namespace quillon {

// A scriptable mixer service for tests, with the model of a sound card's mixer:
// each device has destinations (one of type MIXERLINE_COMPONENTTYPE_DST_WAVEIN
// for recording), each destination its source lines with a volume per channel,
// and a destination may have a selector (MUX) with one item per source line.
class FakeMixer final : public Mixer {
public:
    struct Source {
        std::string name;
        std::uint32_t componentType = MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
        std::vector<std::uint32_t> volume{0, 0};  // one value per channel
        bool hasVolume = true;
    };
    struct Destination {
        std::string name;
        std::uint32_t componentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
        std::vector<Source> sources;
        bool hasMux = true;
        std::vector<std::uint32_t> mux;  // selector items; sized to the sources when empty
    };
    struct Device {
        bool canOpen = true;
        std::vector<Destination> destinations;
    };

    // A device whose wave-in destination (the only one) has these source lines.
    static Device recordingDevice(const std::vector<std::string>& lineNames);

    // Script.
    std::vector<Device> devices;
    bool failLineControls = false;

    // What happened: every call, and the devices whose mixer is open now.
    int callCount = 0;
    [[nodiscard]] std::vector<int> openDevices() const;
    // The device's wave-in selector items, for tests.
    [[nodiscard]] std::vector<std::uint32_t>& muxOf(int device, std::size_t destination = 0);

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

private:
    Device* deviceOf(MixerHandle handle);
    static void describeDestination(const Destination& dst, std::uint32_t d, MixerLine& line);
    static void describeSource(const Source& src, std::uint32_t d, std::uint32_t s, MixerLine& line);

    std::map<MixerHandle, int> open_;
    MixerHandle next_ = 0x2000;
};

}  // namespace quillon
