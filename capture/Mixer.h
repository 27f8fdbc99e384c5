#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quillon {

// An open mixer; 0 for none.
using MixerHandle = std::uintptr_t;

inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_WAVEIN = 7;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED = 0x1000;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_DIGITAL = 0x1001;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_LINE = 0x1002;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE = 0x1003;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY = 0x1009;
inline constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_ANALOG = 0x100A;

// fdwLine: the line's jack has nothing plugged in.
inline constexpr std::uint32_t MIXERLINE_LINEF_DISCONNECTED = 0x8000;

inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_MUX = 0x70010001;
inline constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001;

inline constexpr std::uint32_t MIXER_GETLINEINFOF_DESTINATION = 0;
inline constexpr std::uint32_t MIXER_GETLINEINFOF_SOURCE = 1;
inline constexpr std::uint32_t MIXER_GETLINEINFOF_COMPONENTTYPE = 3;

struct MixerCaps {
    std::uint32_t cDestinations = 0;
    std::string szPname;
};

// A destination or source line. getLineInfo reads dwDestination (and dwSource
// for a source query, or dwComponentType for a query by type) and fills the rest.
struct MixerLine {
    std::uint32_t dwDestination = 0;
    std::uint32_t dwSource = 0;
    std::uint32_t dwLineID = 0;
    std::uint32_t dwComponentType = 0;
    std::uint32_t cChannels = 0;
    std::uint32_t cConnections = 0;
    std::uint32_t cControls = 0;
    std::uint32_t fdwLine = 0;
    std::string szName;
};

struct MixerControl {
    std::uint32_t dwControlID = 0;
    std::uint32_t dwControlType = 0;
    std::uint32_t cMultipleItems = 0;
    std::string szName;
};

// The mixer service of a wave-input device: every call returns true on success.
// Control values are 32-bit, one per item (a selector) or per channel.
class Mixer {
public:
    virtual ~Mixer() = default;

    // Opens the mixer that belongs to wave-input device `device`.
    virtual bool open(MixerHandle& handle, int device) = 0;
    virtual bool close(MixerHandle handle) = 0;
    virtual bool getDevCaps(MixerHandle handle, MixerCaps& caps) = 0;
    // `flags`: MIXER_GETLINEINFOF_DESTINATION, _SOURCE or _COMPONENTTYPE.
    virtual bool getLineInfo(MixerHandle handle, MixerLine& line, std::uint32_t flags) = 0;
    // The line's control of type `controlType`, written to controls[0]; fails
    // when there is none or `controls` is empty.
    virtual bool getLineControlsByType(MixerHandle handle, std::uint32_t lineID, std::uint32_t controlType,
                                       std::span<MixerControl> controls) = 0;
    virtual bool getControlDetails(MixerHandle handle, std::uint32_t controlID, std::uint32_t cChannels,
                                   std::uint32_t cMultipleItems, std::span<std::uint32_t> values) = 0;
    virtual bool setControlDetails(MixerHandle handle, std::uint32_t controlID, std::uint32_t cChannels,
                                   std::uint32_t cMultipleItems, std::span<const std::uint32_t> values) = 0;
};

}  // namespace quillon
