#pragma once

// Scriptable stand-ins for the capture engine, the encoder and the effects chain that log
// every call, for testing the recording sequences and the window on their own.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "effects/clsDSP.h"
#include "recording/RecordingPorts.h"

namespace quillon::test {

struct CallLog {
    std::vector<std::string> calls;
    void add(std::string call) { calls.push_back(std::move(call)); }
    [[nodiscard]] bool has(const std::string& call) const
    {
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }
};

// Devices and lines from its lists; GotData, a dropout and a lost device are raised by
// calling the handlers the recording installed.
class FakeCapture final : public CapturePort {
public:
    explicit FakeCapture(CallLog& log) : log_(log) {}
    [[nodiscard]] bool IsRecording() const override { return recording; }
    bool StartRecord(std::int32_t rate, std::int16_t channels) override
    {
        log_.add("StartRecord " + std::to_string(rate) + " " + std::to_string(channels));
        ++starts;
        recording = startSucceeds;
        dropped = 0;  // counted from each start, as the engine does
        return startSucceeds;
    }
    bool StopRecord() override
    {
        log_.add("StopRecord");
        ++stops;
        recording = false;
        return stopSucceeds;
    }
    [[nodiscard]] std::string StartFailureReason() const override { return startFailure; }

    [[nodiscard]] std::int32_t DeviceCount() const override { return static_cast<std::int32_t>(devices.size()); }
    [[nodiscard]] std::string DeviceName(std::int32_t i) const override
    {
        return devices.at(static_cast<std::size_t>(i));
    }
    [[nodiscard]] std::string DeviceId(std::int32_t /*index*/) const override { return {}; }
    bool SelectDevice(std::int32_t i) override
    {
        log_.add("SelectDevice " + std::to_string(i));
        if (i < 0 || i >= DeviceCount() || i == deviceWithoutMixer) {
            if (i == deviceWithoutMixer) {
                selected = -1;
            }
            return false;
        }
        selected = i;
        return true;
    }
    [[nodiscard]] std::int32_t SelectedDevice() const override { return selected; }
    [[nodiscard]] std::string SelectedDeviceId() const override { return {}; }
    [[nodiscard]] std::int32_t MixerLineCount() const override
    {
        return selected < 0 ? 0 : static_cast<std::int32_t>(lines.size());
    }
    [[nodiscard]] std::string MixerLineName(std::int32_t i) const override
    {
        return lines.at(static_cast<std::size_t>(i));
    }
    [[nodiscard]] bool MixerLineUnplugged(std::int32_t /*index*/) const override { return false; }
    bool SelectMixerLine(std::int32_t i) override
    {
        log_.add("SelectMixerLine " + std::to_string(i));
        if (i < 0 || i >= MixerLineCount() || !lineSelectable) {
            return false;
        }
        line = i;
        return true;
    }
    [[nodiscard]] std::int32_t SelectedMixerLine() const override { return line; }
    [[nodiscard]] std::int32_t MixerLineVolume() const override { return volume; }
    void MixerLineVolume(std::int32_t v) override
    {
        log_.add("MixerLineVolume " + std::to_string(v));
        volume = v;
    }
    [[nodiscard]] std::string LastError() const override { return lastError; }
    [[nodiscard]] std::string ServerProblem() const override { return {}; }

    void OnGotData(GotDataHandler handler) override { gotData = std::move(handler); }
    void OnDropout(DropoutHandler handler) override { dropout = std::move(handler); }
    void OnDeviceLost(std::function<void()> handler) override { deviceLost = std::move(handler); }
    void OnDevicesChanged(std::function<void()> handler) override { devicesChanged = std::move(handler); }
    [[nodiscard]] std::uint64_t DroppedBytes() const override { return dropped; }

    // Nothing waits: every buffer goes to GotData when the test hands it in.
    [[nodiscard]] std::int32_t BufferSize() const override { return 10240; }
    [[nodiscard]] std::int32_t DeliveryBuffers() const override { return deliveryBuffers; }
    void DeliveryBuffers(std::int32_t count) override { deliveryBuffers = count; }
    void NotifyLatency(std::chrono::milliseconds latency) override { notifyLatency = latency; }
    void DeliverWaiting(std::size_t /*limit*/) override {}
    [[nodiscard]] std::size_t WaitingCount() const override { return 0; }

    bool recording = false;
    bool startSucceeds = true;
    bool stopSucceeds = true;
    int starts = 0;
    int stops = 0;
    std::string startFailure;
    std::string lastError;
    std::vector<std::string> devices = {"Monitor of Null Output", "Microphone"};
    std::vector<std::string> lines = {"Line In", "Microphone"};
    int deviceWithoutMixer = -1;
    bool lineSelectable = true;
    std::int32_t selected = -1;
    std::int32_t line = 1;
    std::int32_t volume = 32768;
    std::uint64_t dropped = 0;
    std::int32_t deliveryBuffers = 1;
    std::chrono::milliseconds notifyLatency{0};
    GotDataHandler gotData;
    DropoutHandler dropout;
    std::function<void()> deviceLost;
    std::function<void()> devicesChanged;

private:
    CallLog& log_;
};

// Keeps what it is given in `written`; or, handed the real encoder, passes every call on to
// it so that real files are written. Either way the switches make it fail as a full disk or
// a broken folder would.
class FakeEncoder final : public EncoderPort {
public:
    explicit FakeEncoder(CallLog& log, EncoderPort* real = nullptr) : log_(log), real_(real) {}
    std::int32_t Encoder_EncoderInit(std::int32_t rate, std::int16_t channels, const std::string& file) override
    {
        log_.add("EncoderInit " + std::to_string(rate) + " " + std::to_string(channels) + " " + file);
        if (initResult != 0) {
            return initResult;
        }
        if (real_ != nullptr) {
            return real_->Encoder_EncoderInit(rate, channels, file);
        }
        open = true;
        bytesPerSec = rate * channels * 2;
        return 0;
    }
    std::int32_t Encoder_Encode(const void* buffer, std::int32_t length, std::int32_t& used) override
    {
        log_.add("Encode " + std::to_string(length));
        if (encodeResult != 0) {
            return encodeResult;
        }
        if (real_ != nullptr) {
            return real_->Encoder_Encode(buffer, length, used);
        }
        if (length > bytesPerSec) {
            return 8;  // what the real encoder does with a block over one second
        }
        const auto* bytes = static_cast<const unsigned char*>(buffer);
        written.insert(written.end(), bytes, bytes + length);
        used = length;
        return 0;
    }
    std::int32_t Encoder_EncoderClose() override
    {
        log_.add("EncoderClose");
        if (real_ != nullptr) {
            return real_->Encoder_EncoderClose();
        }
        const bool wasOpen = open;
        open = false;
        return wasOpen ? 0 : 2;
    }
    std::int32_t Encoder_EncoderMetrics(std::int32_t info) override
    {
        if (real_ != nullptr) {
            return real_->Encoder_EncoderMetrics(info);
        }
        if (!open) {
            return -1;
        }
        return info == 1 ? bytesPerSec : 0;
    }
    std::int32_t Encoder_NextFile(const std::string& file) override
    {
        log_.add("NextFile " + file);
        if (real_ == nullptr) {
            return 2;
        }
        return real_->Encoder_NextFile(nextFileFails ? "/nonexistent-quillon-folder/x.wav" : file);
    }
    [[nodiscard]] std::int64_t Encoder_FileLength() const override
    {
        return real_ != nullptr ? real_->Encoder_FileLength() : -1;
    }
    [[nodiscard]] std::int64_t Encoder_MaxOutputBytes(std::int32_t length) const override
    {
        return outputScale * (real_ != nullptr ? real_->Encoder_MaxOutputBytes(length) : 0);
    }
    [[nodiscard]] std::string Encoder_FileError() const override
    {
        return real_ != nullptr ? real_->Encoder_FileError() : std::string();
    }

    void Encoder_AddMarker(std::int64_t frame, const std::string& label) override
    {
        markers.emplace_back(frame, label);
        if (real_ != nullptr) {
            real_->Encoder_AddMarker(frame, label);
        }
    }
    [[nodiscard]] std::string FormatTag() const override { return formatTag; }
    [[nodiscard]] std::string FormatID() const override { return formatID; }
    [[nodiscard]] std::string Encoder_Description() const override { return "Wave ACM Encoder"; }
    [[nodiscard]] std::string Encoder_Extension() const override { return "wav"; }
    void SetFormat(const void* /*format*/, std::int32_t length, const std::string& id, const std::string& tag) override
    {
        log_.add("SetFormat " + std::to_string(length) + " " + tag + " - " + id);
        formatID = id;
        formatTag = tag;
    }
    std::int32_t SelectFormat(std::int32_t rate, std::int16_t channels, void* /*owner*/,
                              const std::string& /*title*/) override
    {
        log_.add("SelectFormat " + std::to_string(rate) + " " + std::to_string(channels));
        return 11;  // nothing chosen
    }

    std::int32_t initResult = 0;
    std::int32_t encodeResult = 0;  // not 0: every write fails with it
    bool nextFileFails = false;
    std::int64_t outputScale = 1;  // inflates the real encoder's output estimate
    bool open = false;
    std::int32_t bytesPerSec = 0;
    std::vector<unsigned char> written;
    std::vector<std::pair<std::int64_t, std::string>> markers;
    std::string formatTag = "PCM";
    std::string formatID = "44.1 kHz 16 Bit Stereo";

private:
    CallLog& log_;
    EncoderPort* real_;
};

class FakeEffects final : public EffectsPort {
public:
    explicit FakeEffects(CallLog& log) : log_(log) {}
    void samplerate(std::int32_t rate) override { log_.add("samplerate " + std::to_string(rate)); }
    void Channels(std::int16_t channels) override { log_.add("Channels " + std::to_string(channels)); }
    // Halves every sample, so tests can tell processed from raw audio.
    void ProcessSamples(std::vector<std::int16_t>& samples) override
    {
        if (!halve) {
            return;
        }
        for (auto& s : samples) {
            s = static_cast<std::int16_t>(s / 2);
        }
    }
    [[nodiscard]] std::int32_t EffectsUsed() const override { return bits; }
    void EffectsUsed(std::int32_t value) override { bits = value; }
    // A real chain for the settings window to edit; the processing above does not use it.
    [[nodiscard]] clsDSP& Settings() override { return chain; }

    std::int32_t bits = 0;
    bool halve = true;
    clsDSP chain;

private:
    CallLog& log_;
};

class FakePorts final : public RecordingPorts {
public:
    CapturePort& capture() override { return captureFake; }
    EncoderPort& encoder() override { return encoderFake; }
    EffectsPort& effects() override { return effectsFake; }
    void Release() override { log.add("Release"); }

    CallLog log;
    FakeCapture captureFake{log};
    FakeEncoder encoderFake{log};
    FakeEffects effectsFake{log};
};

}  // namespace quillon::test
