#pragma once

#include <QObject>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "capture/CaptureBackend.h"
#include "capture/MessageHook.h"
#include "capture/MessageWindow.h"

namespace quillon {

// The capture engine: lists the wave-input devices, opens the chosen device's
// mixer for its recording lines and volume, and records 16-bit PCM into a ring
// of buffers, raising GotData once per filled buffer on the UI thread.
// Everything here runs on the thread that created the recorder.
class WaveInRecorder final : public QObject, private HookOwner {
    Q_OBJECT

public:
    // Records through the given services: pulseCaptureBackend(), or the fakes in tests. (No
    // default constructor: the sound server's services are linked only where they are named.)
    explicit WaveInRecorder(CaptureBackend backend, QObject* parent = nullptr);
    ~WaveInRecorder() override;
    WaveInRecorder(const WaveInRecorder&) = delete;
    WaveInRecorder& operator=(const WaveInRecorder&) = delete;

    [[nodiscard]] bool IsRecording() const { return hWaveIn_ != 0; }
    bool StopRecord();
    // Refused (false) while already recording.
    bool StartRecord(std::int32_t samplerate, std::int16_t Channels);

    [[nodiscard]] std::int32_t BufferCount() const { return bufferCount_; }
    void BufferCount(std::int32_t count) { bufferCount_ = count; }
    [[nodiscard]] std::int32_t BufferSize() const { return bufferSize_; }
    void BufferSize(std::int32_t bytes) { bufferSize_ = bytes; }
    // Filled buffers the device may gather before handing them over together
    // (at most BufferCount - 1, so one is always free to fill): 1, the default,
    // passes each buffer on as soon as it is full, for a live display; more
    // save wake-ups where nobody watches. Taken at StartRecord.
    [[nodiscard]] std::int32_t DeliveryBuffers() const { return deliveryBuffers_; }
    void DeliveryBuffers(std::int32_t count) { deliveryBuffers_ = count; }

    // How long filled buffers may wait for DeliverWaiting, called by a window from a
    // timer it runs anyway, before they wake the UI thread themselves: a buffer then
    // rides along with a tick instead of costing a wake-up of its own. 0, the
    // default, raises GotData as soon as a buffer arrives. Taken at StartRecord.
    [[nodiscard]] std::chrono::milliseconds NotifyLatency() const { return notifyLatency_; }
    void NotifyLatency(std::chrono::milliseconds latency) { notifyLatency_ = latency; }
    // Raises GotData (and the other notifications) for what is waiting, in order, at
    // most `limit` notifications; the rest wait for the next call.
    void DeliverWaiting(std::size_t limit = std::numeric_limits<std::size_t>::max());
    // Notifications waiting for DeliverWaiting.
    [[nodiscard]] std::size_t WaitingCount() const;

    [[nodiscard]] std::int32_t DeviceCount() const;
    [[nodiscard]] std::string DeviceName(std::int32_t Index) const;
    bool SelectDevice(std::int32_t Index);
    [[nodiscard]] std::int32_t SelectedDevice() const { return selectedDevice_; }
    // What identifies device `Index` wherever it moves in the list; empty when unknown.
    [[nodiscard]] std::string DeviceId(std::int32_t Index) const;
    // The selected device's identifier; it is what StartRecord opens.
    [[nodiscard]] const std::string& SelectedDeviceId() const { return selectedId_; }
    // Why the last StartRecord failed, or why the sound server stopped a
    // recording, in the user's words; empty when there is nothing to say.
    [[nodiscard]] const std::string& LastError() const { return lastError_; }
    // Empty while the sound server can be reached, otherwise why it cannot.
    [[nodiscard]] std::string ServerProblem() const { return backend_.waveIn->unavailableReason(); }

    [[nodiscard]] std::int32_t MixerLineCount() const;
    [[nodiscard]] std::string MixerLineName(std::int32_t Index) const;
    bool SelectMixerLine(std::int32_t Index);
    [[nodiscard]] std::int32_t SelectedMixerLine() const;
    [[nodiscard]] std::int32_t MixerLineType(std::int32_t Index) const;
    // True when line `Index` has nothing plugged into its jack (the server says so).
    [[nodiscard]] bool MixerLineUnplugged(std::int32_t Index) const;
    [[nodiscard]] std::int32_t MixerLineVolume() const;
    void MixerLineVolume(std::int32_t Volume);

    // Captured bytes thrown away since the last StartRecord because no buffer
    // was free to take them (the UI thread fell seconds behind).
    [[nodiscard]] std::uint64_t DroppedBytes() const;

    // Called for every MM_WIM_DATA the notification window receives; lParam is
    // the address of the filled buffer's header. Anything else is ignored.
    void BufferDone(std::intptr_t lParam);

    // The notification window while a recording starts or runs, else 0.
    [[nodiscard]] WindowHandle NotifyWindow() const { return hWnd_; }

signals:
    // One filled buffer: the slot's whole array (BufferSize / 2 samples) and the
    // number of valid bytes. The listener may change the samples but must not
    // keep the span after returning; changes to lngLen are ignored. It may call
    // StopRecord; no GotData follows a StopRecord.
    void GotData(std::span<std::int16_t> intBuffer, std::int32_t& lngLen);
    // `bytes` of captured audio were lost right here, between the last GotData and
    // the next one (whole frames). The listener may call StopRecord.
    void Dropout(std::uint64_t bytes);
    // The device or the sound server went away during a recording; no more data
    // will come. The recording stays open until StopRecord.
    void DeviceLost();
    // Devices may have come, gone or changed (ports, volume), or the sound server
    // came or went. Raised on the recorder's thread, at most once per event burst.
    void DevicesChanged();

private:
    struct WaveInBuffer {
        WaveHeader header;
        std::vector<std::int16_t> samples;
    };
    using Ring = std::vector<WaveInBuffer>;

    void CreateNotifyWindow();
    void HookNotifyWindow(WindowHandle window);
    void UnhookNotifyWindow();
    void ReleaseNotifyWindow();

    [[nodiscard]] std::span<const HookCallback> hookCallbacks() const override { return {&callback_, 1}; }
    void WindowCallback(bool bBefore, bool& bHandled, std::intptr_t& lReturn, WindowHandle hWnd, std::uint32_t uMsg,
                        std::uintptr_t wParam, std::intptr_t lParam, std::int32_t& lParamUser);

    // The device's position in the list as the service lists it now; -1: gone.
    [[nodiscard]] std::int32_t FindDevice(const std::string& id) const;

    // Mixer internals.
    [[nodiscard]] bool FindWaveInDestination(std::uint32_t& destination) const;
    bool SelectLineItem(std::int32_t item);
    [[nodiscard]] std::int32_t GetSelectedLineItem() const;
    [[nodiscard]] std::uint32_t FindLineControl(std::uint32_t componentType, std::uint32_t controlType,
                                                std::uint32_t lineID) const;
    void SetLineVolume(std::uint32_t destination, std::int32_t source, std::span<const std::uint32_t> pair);
    [[nodiscard]] std::vector<std::uint32_t> GetLineVolume(std::uint32_t destination, std::int32_t source) const;
    // Steps 1 to 3 shared by SelectLineItem and GetSelectedLineItem: the selector
    // query. 1: done, nothing to do; 0: failed; 2: controls in `controls`.
    int QueryMuxControls(std::vector<MixerControl>& controls) const;

    CaptureBackend backend_;
    std::int32_t selectedDevice_ = -1;
    std::string selectedId_;
    std::string selectedName_;
    std::string lastError_;
    std::shared_ptr<std::atomic<bool>> changePending_ = std::make_shared<std::atomic<bool>>(false);
    std::int32_t bufferSize_ = 10240;
    std::int32_t bufferCount_ = 5;
    std::int32_t deliveryBuffers_ = 1;
    std::chrono::milliseconds notifyLatency_{0};
    // Shared so a GotData listener that restarts the recording cannot free the
    // ring that BufferDone is still delivering from.
    std::shared_ptr<Ring> ring_;
    WindowHandle hWnd_ = 0;
    std::unique_ptr<MessageWindow> notifyWindow_;
    WaveInHandle hWaveIn_ = 0;
    MixerHandle hMixer_ = 0;
    std::uint64_t droppedAtStop_ = 0;
    HookCallback callback_;
    MessageHook hook_;
};

}  // namespace quillon
