#include "capture/fake/FakeMixer.h"

#include <algorithm>

namespace quillon {
namespace {

// Line and control identifiers: destination d is 0xFFFF0000 + d, source s of
// destination d is d * 0x100 + s; the selector of destination d is 0x10000 + d,
// the volume of source s of destination d is 0x20000 + d * 0x100 + s.
constexpr std::uint32_t kDestinationId = 0xFFFF0000;
constexpr std::uint32_t kMuxId = 0x10000;
constexpr std::uint32_t kVolumeId = 0x20000;

// The source line d * 0x100 + s; null when there is none.
FakeMixer::Source* sourceOfLine(FakeMixer::Device& device, std::uint32_t lineID)
{
    const std::uint32_t d = lineID / 0x100;
    const std::uint32_t s = lineID % 0x100;
    if (d >= device.destinations.size() || s >= device.destinations[d].sources.size()) {
        return nullptr;
    }
    return &device.destinations[d].sources[s];
}

}  // namespace

FakeMixer::Device FakeMixer::recordingDevice(const std::vector<std::string>& lineNames)
{
    Device device;
    Destination dst;
    dst.name = "Recording Control";
    for (const auto& name : lineNames) {
        dst.sources.push_back(Source{name});
    }
    dst.mux.assign(lineNames.size(), 0);
    if (!dst.mux.empty()) {
        dst.mux.front() = 1;
    }
    device.destinations.push_back(dst);
    return device;
}

std::vector<int> FakeMixer::openDevices() const
{
    std::vector<int> result;
    for (const auto& [handle, device] : open_) {
        result.push_back(device);
    }
    return result;
}

std::vector<std::uint32_t>& FakeMixer::muxOf(int device, std::size_t destination)
{
    auto& dst = devices.at(static_cast<std::size_t>(device)).destinations.at(destination);
    dst.mux.resize(dst.sources.size(), 0);
    return dst.mux;
}

FakeMixer::Device* FakeMixer::deviceOf(MixerHandle handle)
{
    const auto it = open_.find(handle);
    return it == open_.end() ? nullptr : &devices[static_cast<std::size_t>(it->second)];
}

bool FakeMixer::open(MixerHandle& handle, int device)
{
    ++callCount;
    if (device < 0 || static_cast<std::size_t>(device) >= devices.size() ||
        !devices[static_cast<std::size_t>(device)].canOpen) {
        return false;
    }
    handle = next_++;
    open_.emplace(handle, device);
    return true;
}

bool FakeMixer::close(MixerHandle handle)
{
    ++callCount;
    return open_.erase(handle) == 1;
}

bool FakeMixer::getDevCaps(MixerHandle handle, MixerCaps& caps)
{
    ++callCount;
    Device* device = deviceOf(handle);
    if (device == nullptr) {
        return false;
    }
    caps.cDestinations = static_cast<std::uint32_t>(device->destinations.size());
    caps.szPname = "Fake Mixer";
    return true;
}

void FakeMixer::describeDestination(const Destination& dst, std::uint32_t d, MixerLine& line)
{
    line.dwDestination = d;
    line.dwSource = 0;
    line.dwLineID = kDestinationId + d;
    line.dwComponentType = dst.componentType;
    line.cChannels = 2;
    line.cConnections = static_cast<std::uint32_t>(dst.sources.size());
    line.cControls = dst.hasMux ? 1 : 0;
    line.szName = dst.name;
}

void FakeMixer::describeSource(const Source& src, std::uint32_t d, std::uint32_t s, MixerLine& line)
{
    line.dwDestination = d;
    line.dwSource = s;
    line.dwLineID = d * 0x100 + s;
    line.dwComponentType = src.componentType;
    line.cChannels = static_cast<std::uint32_t>(src.volume.size());
    line.cConnections = 0;
    line.cControls = src.hasVolume ? 1 : 0;
    line.szName = src.name;
}

bool FakeMixer::getLineInfo(MixerHandle handle, MixerLine& line, std::uint32_t flags)
{
    ++callCount;
    Device* device = deviceOf(handle);
    if (device == nullptr) {
        return false;
    }
    auto& dsts = device->destinations;
    switch (flags) {
        case MIXER_GETLINEINFOF_DESTINATION:
            if (line.dwDestination >= dsts.size()) {
                return false;
            }
            describeDestination(dsts[line.dwDestination], line.dwDestination, line);
            return true;
        case MIXER_GETLINEINFOF_SOURCE:
            if (line.dwDestination >= dsts.size() || line.dwSource >= dsts[line.dwDestination].sources.size()) {
                return false;
            }
            describeSource(dsts[line.dwDestination].sources[line.dwSource], line.dwDestination, line.dwSource, line);
            return true;
        case MIXER_GETLINEINFOF_COMPONENTTYPE:
            for (std::uint32_t d = 0; d < dsts.size(); ++d) {
                if (dsts[d].componentType == line.dwComponentType) {
                    describeDestination(dsts[d], d, line);
                    return true;
                }
            }
            for (std::uint32_t d = 0; d < dsts.size(); ++d) {
                for (std::uint32_t s = 0; s < dsts[d].sources.size(); ++s) {
                    if (dsts[d].sources[s].componentType == line.dwComponentType) {
                        describeSource(dsts[d].sources[s], d, s, line);
                        return true;
                    }
                }
            }
            return false;
        default:
            return false;
    }
}

bool FakeMixer::getLineControlsByType(MixerHandle handle, std::uint32_t lineID, std::uint32_t controlType,
                                      std::span<MixerControl> controls)
{
    ++callCount;
    Device* device = deviceOf(handle);
    if (device == nullptr || controls.empty() || failLineControls) {
        return false;
    }
    if (lineID >= kDestinationId) {
        const std::uint32_t d = lineID - kDestinationId;
        if (d >= device->destinations.size() || controlType != MIXERCONTROL_CONTROLTYPE_MUX ||
            !device->destinations[d].hasMux) {
            return false;
        }
        controls[0] = MixerControl{kMuxId + d, MIXERCONTROL_CONTROLTYPE_MUX,
                                   static_cast<std::uint32_t>(device->destinations[d].sources.size()), "Mux"};
        return true;
    }
    const Source* source = sourceOfLine(*device, lineID);
    if (source == nullptr || controlType != MIXERCONTROL_CONTROLTYPE_VOLUME || !source->hasVolume) {
        return false;
    }
    controls[0] = MixerControl{kVolumeId + lineID, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, "Volume"};
    return true;
}

bool FakeMixer::getControlDetails(MixerHandle handle, std::uint32_t controlID, std::uint32_t cChannels,
                                  std::uint32_t cMultipleItems, std::span<std::uint32_t> values)
{
    ++callCount;
    Device* device = deviceOf(handle);
    if (device == nullptr) {
        return false;
    }
    if (controlID >= kVolumeId) {
        const Source* source = sourceOfLine(*device, controlID - kVolumeId);
        if (source == nullptr || cChannels == 0) {
            return false;
        }
        const auto& volume = source->volume;
        const std::size_t n = std::min<std::size_t>({cChannels, values.size(), volume.size()});
        std::copy_n(volume.begin(), n, values.begin());
        return true;
    }
    if (controlID >= kMuxId) {
        const std::uint32_t d = controlID - kMuxId;
        if (d >= device->destinations.size()) {
            return false;
        }
        const auto& mux = muxOf(open_.at(handle), d);
        if (cMultipleItems != mux.size()) {
            return false;
        }
        std::copy_n(mux.begin(), std::min(mux.size(), values.size()), values.begin());
        return true;
    }
    return false;
}

bool FakeMixer::setControlDetails(MixerHandle handle, std::uint32_t controlID, std::uint32_t cChannels,
                                  std::uint32_t cMultipleItems, std::span<const std::uint32_t> values)
{
    ++callCount;
    Device* device = deviceOf(handle);
    if (device == nullptr) {
        return false;
    }
    if (controlID >= kVolumeId) {
        Source* source = sourceOfLine(*device, controlID - kVolumeId);
        if (source == nullptr || cChannels == 0 || values.size() < cChannels) {
            return false;
        }
        auto& volume = source->volume;
        for (std::size_t c = 0; c < volume.size(); ++c) {
            // One value sets every channel alike.
            volume[c] = cChannels == 1 ? values[0] : values[std::min<std::size_t>(c, cChannels - 1)];
        }
        return true;
    }
    if (controlID >= kMuxId) {
        const std::uint32_t d = controlID - kMuxId;
        if (d >= device->destinations.size()) {
            return false;
        }
        auto& mux = muxOf(open_.at(handle), d);
        if (cMultipleItems != mux.size() || values.size() < mux.size()) {
            return false;
        }
        std::copy_n(values.begin(), mux.size(), mux.begin());
        return true;
    }
    return false;
}

}  // namespace quillon
