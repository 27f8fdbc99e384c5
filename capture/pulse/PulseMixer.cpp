#include "capture/pulse/PulseMixer.h"

#include <algorithm>
#include <mutex>

#include "capture/VolumeMapping.h"
#include "capture/pulse/SourceDirectory.h"

namespace quillon::pulse {
namespace {

std::uint32_t componentTypeOf(std::uint32_t portType)
{
    switch (portType) {
        case PA_DEVICE_PORT_TYPE_MIC:
        case PA_DEVICE_PORT_TYPE_HEADSET:
        case PA_DEVICE_PORT_TYPE_HANDSET:
            return MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
        case PA_DEVICE_PORT_TYPE_LINE:
            return MIXERLINE_COMPONENTTYPE_SRC_LINE;
        case PA_DEVICE_PORT_TYPE_SPDIF:
        case PA_DEVICE_PORT_TYPE_HDMI:
            return MIXERLINE_COMPONENTTYPE_SRC_DIGITAL;
        case PA_DEVICE_PORT_TYPE_AUX:
            return MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY;
        case PA_DEVICE_PORT_TYPE_TV:
        case PA_DEVICE_PORT_TYPE_RADIO:
        case PA_DEVICE_PORT_TYPE_VIDEO:
        case PA_DEVICE_PORT_TYPE_ANALOG:
            return MIXERLINE_COMPONENTTYPE_SRC_ANALOG;
        default:
            return MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED;
    }
}

void describeDestination(const SourceInfo& source, MixerLine& line)
{
    line.dwDestination = 0;
    line.dwSource = 0;
    line.dwLineID = PulseMixer::kDestinationLine;
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
    line.cChannels = source.volume.channels;
    line.cConnections = static_cast<std::uint32_t>(recordingLines(source).size());
    line.cControls = 2;
    line.szName = source.description;
}

void describeLine(const SourceInfo& source, const RecordingLine& recording, std::uint32_t index, MixerLine& line)
{
    line.dwDestination = 0;
    line.dwSource = index;
    line.dwLineID = index;
    line.dwComponentType = recording.componentType;
    line.cChannels = source.volume.channels;
    line.cConnections = 0;
    line.cControls = 1;
    line.fdwLine = recording.available ? 0 : MIXERLINE_LINEF_DISCONNECTED;
    line.szName = recording.name;
}

}  // namespace

std::vector<RecordingLine> recordingLines(const SourceInfo& source)
{
    std::vector<RecordingLine> lines;
    if (source.ports.empty()) {
        lines.push_back({source.description, MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED, {}, true});
        return lines;
    }
    for (const SourcePort& port : source.ports) {
        const bool available = port.available != PA_PORT_AVAILABLE_NO;
        lines.push_back({available ? port.description : port.description + kUnpluggedMark, componentTypeOf(port.type),
                         port.name, available});
    }
    return lines;
}

PulseMixer::PulseMixer(std::shared_ptr<SourceDirectory> sources) : sources_(std::move(sources)) {}

bool PulseMixer::open(MixerHandle& handle, int device)
{
    const std::lock_guard lock(*sources_);
    // Positions are those of the list the user was shown.
    const auto& sources = sources_->shownSources();
    if (device < 0 || static_cast<std::size_t>(device) >= sources.size()) {
        return false;
    }
    handle = next_++;
    open_.emplace(handle, sources[static_cast<std::size_t>(device)].name);
    return true;
}

bool PulseMixer::close(MixerHandle handle)
{
    const std::lock_guard lock(*sources_);
    return open_.erase(handle) == 1;
}

bool PulseMixer::getDevCaps(MixerHandle handle, MixerCaps& caps)
{
    const std::lock_guard lock(*sources_);
    const auto it = open_.find(handle);
    SourceInfo source;
    if (it == open_.end() || !sources_->source(it->second, source)) {
        return false;
    }
    caps.cDestinations = 1;
    caps.szPname = source.description;
    return true;
}

bool PulseMixer::getLineInfo(MixerHandle handle, MixerLine& line, std::uint32_t flags)
{
    const std::lock_guard lock(*sources_);
    const auto it = open_.find(handle);
    SourceInfo source;
    if (it == open_.end() || !sources_->source(it->second, source)) {
        return false;
    }
    switch (flags) {
        case MIXER_GETLINEINFOF_DESTINATION:
            if (line.dwDestination != 0) {
                return false;
            }
            describeDestination(source, line);
            return true;
        case MIXER_GETLINEINFOF_SOURCE: {
            const auto lines = recordingLines(source);
            if (line.dwDestination != 0 || line.dwSource >= lines.size()) {
                return false;
            }
            describeLine(source, lines[line.dwSource], line.dwSource, line);
            return true;
        }
        case MIXER_GETLINEINFOF_COMPONENTTYPE: {
            if (line.dwComponentType == MIXERLINE_COMPONENTTYPE_DST_WAVEIN) {
                describeDestination(source, line);
                return true;
            }
            const auto lines = recordingLines(source);
            for (std::uint32_t i = 0; i < lines.size(); ++i) {
                if (lines[i].componentType == line.dwComponentType) {
                    describeLine(source, lines[i], i, line);
                    return true;
                }
            }
            return false;
        }
        default:
            return false;
    }
}

bool PulseMixer::getLineControlsByType(MixerHandle handle, std::uint32_t lineID, std::uint32_t controlType,
                                       std::span<MixerControl> controls)
{
    const std::lock_guard lock(*sources_);
    const auto it = open_.find(handle);
    SourceInfo source;
    if (controls.empty() || it == open_.end() || !sources_->source(it->second, source)) {
        return false;
    }
    const auto ports = static_cast<std::uint32_t>(recordingLines(source).size());
    if (lineID == kDestinationLine) {
        if (controlType == MIXERCONTROL_CONTROLTYPE_MUX) {
            controls[0] = MixerControl{kSelectorControl, MIXERCONTROL_CONTROLTYPE_MUX, ports, "Input"};
            return true;
        }
        if (controlType == MIXERCONTROL_CONTROLTYPE_VOLUME) {
            controls[0] = MixerControl{kDestinationVolumeControl, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, "Volume"};
            return true;
        }
        return false;
    }
    if (lineID < ports && controlType == MIXERCONTROL_CONTROLTYPE_VOLUME) {
        controls[0] = MixerControl{kLineVolumeControl + lineID, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, "Volume"};
        return true;
    }
    return false;
}

bool PulseMixer::getControlDetails(MixerHandle handle, std::uint32_t controlID, std::uint32_t cChannels,
                                   std::uint32_t cMultipleItems, std::span<std::uint32_t> values)
{
    const std::lock_guard lock(*sources_);
    const auto it = open_.find(handle);
    SourceInfo source;
    if (it == open_.end() || !sources_->source(it->second, source)) {
        return false;
    }
    const auto lines = recordingLines(source);
    const auto ports = static_cast<std::uint32_t>(lines.size());
    if (controlID == kSelectorControl) {
        if (cMultipleItems != ports || values.size() < ports) {
            return false;
        }
        // Item j is line count - 1 - j; a source without ports has its one line always on.
        for (std::uint32_t j = 0; j < ports; ++j) {
            values[j] = source.ports.empty() || lines[ports - 1 - j].port == source.activePort ? 1 : 0;
        }
        return true;
    }
    const bool isVolume = controlID == kDestinationVolumeControl ||
                          (controlID >= kLineVolumeControl && controlID - kLineVolumeControl < ports);
    if (!isVolume || cChannels == 0 || values.empty()) {
        return false;
    }
    if (cChannels == 1) {
        values[0] = serverToMixerVolume(pa_cvolume_max(&source.volume));
        return true;
    }
    const std::size_t n = std::min<std::size_t>({cChannels, values.size(), source.volume.channels});
    for (std::size_t c = 0; c < n; ++c) {
        values[c] = serverToMixerVolume(source.volume.values[c]);
    }
    return true;
}

bool PulseMixer::setControlDetails(MixerHandle handle, std::uint32_t controlID, std::uint32_t cChannels,
                                   std::uint32_t cMultipleItems, std::span<const std::uint32_t> values)
{
    const std::lock_guard lock(*sources_);
    const auto it = open_.find(handle);
    SourceInfo source;
    if (it == open_.end() || !sources_->source(it->second, source)) {
        return false;
    }
    const auto lines = recordingLines(source);
    const auto ports = static_cast<std::uint32_t>(lines.size());
    const std::string& name = it->second;
    if (controlID == kSelectorControl) {
        if (cMultipleItems != ports || values.size() < ports) {
            return false;
        }
        const auto chosen =
            std::find_if(values.begin(), values.begin() + ports, [](std::uint32_t v) { return v != 0; });
        if (chosen == values.begin() + ports) {
            return false;
        }
        const auto item = static_cast<std::uint32_t>(chosen - values.begin());
        const std::string& port = lines[ports - 1 - item].port;
        if (source.ports.empty() || port == source.activePort) {
            return true;  // nothing to switch
        }
        return sources_->setActivePort(name, port);
    }
    const bool isVolume = controlID == kDestinationVolumeControl ||
                          (controlID >= kLineVolumeControl && controlID - kLineVolumeControl < ports);
    if (!isVolume || cChannels == 0 || values.size() < cChannels) {
        return false;
    }
    pa_cvolume volume = source.volume;
    for (std::uint8_t c = 0; c < volume.channels; ++c) {
        // One value sets every channel; otherwise channels beyond the values take the last one.
        volume.values[c] = mixerToServerVolume(values[std::min<std::size_t>(c, cChannels - 1)]);
    }
    if (pa_cvolume_equal(&volume, &source.volume) != 0) {
        return true;
    }
    return sources_->setVolume(name, volume);
}

}  // namespace quillon::pulse
