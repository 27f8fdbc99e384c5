#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "capture/BufferAssembler.h"
#include "capture/WaveIn.h"

namespace quillon {

// A scriptable wave-input service for tests. One device may be open at a time.
// The test hands it samples with feed(); it fills the queued buffers in order
// and posts MM_WIM_DATA to the callback window for each full one, like a device.
// Every call is logged ("open -1", "prepare 0", "start", "addBuffer 3", "stop",
// "reset", "unprepare 0", "close"; header calls carry the header's dwUser).
class FakeWaveIn final : public WaveIn {
public:
    FakeWaveIn();

    // Script.
    std::vector<std::string> devices{"Fake Microphone"};
    std::vector<std::string> ids;  // szId of each device; none: positions only
    bool failOpen = false;
    int failPrepareAt = -1;  // dwUser of the header whose prepare fails
    bool failStart = false;
    bool failAddBuffer = false;
    std::string unavailable;       // reported by unavailableReason()
    std::size_t backlogBytes = 0;  // bytes kept while no buffer is queued

    // What happened.
    std::vector<std::string> calls;
    WaveFormatEx lastFormat;
    int lastDevice = -2;
    WindowHandle lastCallback = 0;
    [[nodiscard]] bool isOpen() const { return handle_ != 0; }
    [[nodiscard]] bool isStarted() const { return started_; }
    [[nodiscard]] std::size_t queuedBuffers() const { return assembler_ ? assembler_->queued() : 0; }
    [[nodiscard]] int preparedHeaders() const { return prepared_; }

    // Captures `samples` (only while started); false when not capturing.
    bool feed(std::span<const std::int16_t> samples);
    // Reports the open device as gone.
    void loseDevice();

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
    std::string unavailableReason() override { return unavailable; }
    void setChangeListener(std::function<void()> changed) override { changeListener = std::move(changed); }
    std::function<void()> changeListener;

private:
    bool valid(WaveInHandle handle) const { return handle != 0 && handle == handle_; }

    WaveInHandle handle_ = 0;
    WaveInHandle nextHandle_ = 1;
    bool started_ = false;
    int prepared_ = 0;
    std::unique_ptr<BufferAssembler> assembler_;
};

}  // namespace quillon
