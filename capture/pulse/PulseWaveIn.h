#pragma once

#include <map>
#include <memory>

#include "capture/WaveIn.h"

namespace quillon::pulse {

class PulseConnection;

// The wave-input service on the sound server: a device is a source (monitors
// included), device WAVE_MAPPER the default source, and an open device one
// record stream of native 16-bit PCM that fills the queued buffers.
class PulseWaveIn final : public WaveIn {
public:
    explicit PulseWaveIn(std::shared_ptr<PulseConnection> connection);
    ~PulseWaveIn() override;
    PulseWaveIn(const PulseWaveIn&) = delete;
    PulseWaveIn& operator=(const PulseWaveIn&) = delete;

    std::uint32_t getNumDevs() override;
    bool getDevCaps(int device, WaveInCaps& caps) override;
    bool open(WaveInHandle& handle, int device, const WaveFormatEx& format, WindowHandle callback) override;
    bool prepareHeader(WaveInHandle handle, WaveHeader& header) override;
    bool unprepareHeader(WaveInHandle handle, WaveHeader& header) override;
    bool addBuffer(WaveInHandle handle, WaveHeader& header) override;
    bool start(WaveInHandle handle) override;
    bool stop(WaveInHandle handle) override;
    bool reset(WaveInHandle handle) override;
    bool close(WaveInHandle handle) override;
    void setDeliveryBytes(WaveInHandle handle, std::uint32_t bytes) override;
    std::uint64_t droppedBytes(WaveInHandle handle) override;
    std::string unavailableReason() override;
    void setChangeListener(std::function<void()> changed) override;

    struct Device;

private:
    Device* find(WaveInHandle handle);
    bool connectStream(Device& device);
    bool cork(Device& device, bool paused);
    // Stops capturing; hands back the partly filled buffer, or with `returnAll` every queued one.
    bool halt(WaveInHandle handle, bool returnAll);

    std::shared_ptr<PulseConnection> connection_;
    std::map<WaveInHandle, std::unique_ptr<Device>> devices_;  // under the connection's lock
    WaveInHandle nextHandle_ = 1;
};

}  // namespace quillon::pulse
