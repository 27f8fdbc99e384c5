#pragma once

// What a recording needs of the capture engine, the encoder and the effects chain.
// recording/RealPorts.h connects them to the real classes; tests/support/FakePorts.h
// stands in for them in tests.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "recording/DeliveryPacing.h"

namespace quillon {

class clsDSP;

class CapturePort : public BufferHandOver {
public:
    ~CapturePort() override = default;
    [[nodiscard]] virtual bool IsRecording() const = 0;
    virtual bool StartRecord(std::int32_t samplerate, std::int16_t Channels) = 0;
    virtual bool StopRecord() = 0;
    // Why the last StartRecord failed: the sound server that cannot be reached with the
    // system's reason, otherwise the capture's own account; empty when unknown.
    [[nodiscard]] virtual std::string StartFailureReason() const = 0;

    // Devices and the selected device's recording lines.
    [[nodiscard]] virtual std::int32_t DeviceCount() const = 0;
    [[nodiscard]] virtual std::string DeviceName(std::int32_t index) const = 0;
    // What identifies device `index` wherever it moves in the list; empty when unknown.
    [[nodiscard]] virtual std::string DeviceId(std::int32_t index) const = 0;
    virtual bool SelectDevice(std::int32_t index) = 0;
    [[nodiscard]] virtual std::int32_t SelectedDevice() const = 0;
    [[nodiscard]] virtual std::string SelectedDeviceId() const = 0;
    [[nodiscard]] virtual std::int32_t MixerLineCount() const = 0;
    [[nodiscard]] virtual std::string MixerLineName(std::int32_t index) const = 0;
    // True when recording line `index` has nothing plugged in.
    [[nodiscard]] virtual bool MixerLineUnplugged(std::int32_t index) const = 0;
    virtual bool SelectMixerLine(std::int32_t index) = 0;
    [[nodiscard]] virtual std::int32_t SelectedMixerLine() const = 0;
    [[nodiscard]] virtual std::int32_t MixerLineVolume() const = 0;
    virtual void MixerLineVolume(std::int32_t volume) = 0;

    // Why the capture last failed or the sound server ended a recording; empty: nothing to say.
    [[nodiscard]] virtual std::string LastError() const = 0;
    // Empty while the sound server can be reached, otherwise why it cannot.
    [[nodiscard]] virtual std::string ServerProblem() const = 0;

    // The one listener of GotData: the slot's whole array and its valid bytes.
    using GotDataHandler = std::function<void(std::span<const std::int16_t>, std::int32_t)>;
    virtual void OnGotData(GotDataHandler handler) = 0;
    // Called with the length in bytes of audio the engine lost, in order: after the
    // GotData of the audio before the loss and before the GotData of the audio after it.
    using DropoutHandler = std::function<void(std::uint64_t)>;
    virtual void OnDropout(DropoutHandler handler) = 0;
    // Called when the device or the sound server goes away during a recording.
    virtual void OnDeviceLost(std::function<void()> handler) = 0;
    // Called when devices may have come, gone or changed, or the sound server came or went.
    virtual void OnDevicesChanged(std::function<void()> handler) = 0;
    // Captured bytes the engine had to throw away since StartRecord.
    [[nodiscard]] virtual std::uint64_t DroppedBytes() const = 0;

    // When filled buffers are handed over (taken at StartRecord): the bytes of one buffer,
    // how many the sound server may gather before handing them over together, and how long
    // they may wait for DeliverWaiting before they wake the thread themselves.
    [[nodiscard]] std::int32_t BufferSize() const override = 0;
    [[nodiscard]] virtual std::int32_t DeliveryBuffers() const = 0;
    void DeliveryBuffers(std::int32_t count) override = 0;
    void NotifyLatency(std::chrono::milliseconds latency) override = 0;
    // Raises GotData (and the other notifications) for at most `limit` waiting buffers, in order.
    void DeliverWaiting(std::size_t limit) override = 0;
    [[nodiscard]] std::size_t WaitingCount() const override = 0;
};

class EncoderPort {
public:
    virtual ~EncoderPort() = default;
    virtual std::int32_t Encoder_EncoderInit(std::int32_t samplerate, std::int16_t Channels,
                                             const std::string& fileName) = 0;
    virtual std::int32_t Encoder_Encode(const void* buffer, std::int32_t length, std::int32_t& used) = 0;
    virtual std::int32_t Encoder_EncoderClose() = 0;
    // info 1: bytes per second of the source format, i.e. the largest block
    // Encoder_Encode takes; -1 when no file is open.
    virtual std::int32_t Encoder_EncoderMetrics(std::int32_t info) = 0;
    // Finishes the open file and goes on in `fileName` without losing a sample; 0 or 2.
    virtual std::int32_t Encoder_NextFile(const std::string& fileName) = 0;
    // Length of the open file, -1 when none is open.
    [[nodiscard]] virtual std::int64_t Encoder_FileLength() const = 0;
    // The most bytes the next Encoder_Encode of `length` source bytes can add.
    [[nodiscard]] virtual std::int64_t Encoder_MaxOutputBytes(std::int32_t length) const = 0;
    // Why the last file could not be created (the system's text); empty when unknown.
    [[nodiscard]] virtual std::string Encoder_FileError() const = 0;
    // A cue point labelled `label` at frame `sourceFrame` of the capture format, counted from
    // the start of the open file; written into the file when it is finished.
    virtual void Encoder_AddMarker(std::int64_t sourceFrame, const std::string& label) = 0;

    // The output format: its texts, the file dialog's description and extension, the
    // format bytes (WAVEFORMATEX and extra) from the command line, or the user's choice
    // through the installed chooser (0 chosen, 11 nothing changed).
    [[nodiscard]] virtual std::string FormatTag() const = 0;
    [[nodiscard]] virtual std::string FormatID() const = 0;
    [[nodiscard]] virtual std::string Encoder_Description() const = 0;
    [[nodiscard]] virtual std::string Encoder_Extension() const = 0;
    virtual void SetFormat(const void* format, std::int32_t length, const std::string& FormatID,
                           const std::string& FormatTag) = 0;
    virtual std::int32_t SelectFormat(std::int32_t samplerate, std::int16_t Channels, void* owner,
                                      const std::string& title) = 0;
};

class EffectsPort {
public:
    virtual ~EffectsPort() = default;
    virtual void samplerate(std::int32_t rate) = 0;
    virtual void Channels(std::int16_t channels) = 0;
    virtual void ProcessSamples(std::vector<std::int16_t>& samples) = 0;
    [[nodiscard]] virtual std::int32_t EffectsUsed() const = 0;
    virtual void EffectsUsed(std::int32_t bits) = 0;
    // The chain whose settings the effects window and the command line's options edit.
    [[nodiscard]] virtual clsDSP& Settings() = 0;
};

// The capture engine, encoder and effects chain a window or a command owns from its
// start to its end.
class RecordingPorts {
public:
    virtual ~RecordingPorts() = default;
    virtual CapturePort& capture() = 0;
    virtual EncoderPort& encoder() = 0;
    virtual EffectsPort& effects() = 0;
    // The end: the capture engine first, then the encoder; their own clean-up closes any
    // open device and file. Nothing may use them afterwards.
    virtual void Release() = 0;
};

}  // namespace quillon
