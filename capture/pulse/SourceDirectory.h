#pragma once

#include <pulse/pulseaudio.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quillon::pulse {

struct SourcePort {
    std::string name;
    std::string description;
    std::uint32_t type = 0;
    // PA_PORT_AVAILABLE_NO: nothing plugged in (an empty jack).
    int available = PA_PORT_AVAILABLE_UNKNOWN;
};

struct SourceInfo {
    std::uint32_t index = 0;
    std::string name;
    std::string description;
    std::uint32_t card = PA_INVALID_INDEX;
    pa_channel_map channelMap{};
    pa_cvolume volume{};
    std::vector<SourcePort> ports;
    std::string activePort;
};

// The sound server's sources as the mixer sees them: the server itself, or in
// tests a fake holding the same data. Lockable; the rest is called with the lock held.
class SourceDirectory {
public:
    virtual ~SourceDirectory() = default;
    virtual void lock() = 0;
    virtual void unlock() = 0;
    // The sources in the order the user was last shown them.
    virtual const std::vector<SourceInfo>& shownSources() = 0;
    // One source by name; false when it does not exist.
    virtual bool source(const std::string& name, SourceInfo& info) = 0;
    virtual bool setActivePort(const std::string& source, const std::string& port) = 0;
    virtual bool setVolume(const std::string& source, const pa_cvolume& volume) = 0;
};

}  // namespace quillon::pulse
