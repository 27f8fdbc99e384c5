#pragma once

// Scriptable stand-ins for the capture engine, encoder and effects chain that
// log every call, for testing the recording sequences on their own.
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "recording/Engines.h"

namespace quillon::test {

struct CallLog {
    std::vector<std::string> calls;
    void add(std::string call) { calls.push_back(std::move(call)); }
    [[nodiscard]] bool has(const std::string& call) const
    {
        for (const auto& c : calls) {
            if (c == call) {
                return true;
            }
        }
        return false;
    }
};

class LoggingCapture final : public CapturePort {
public:
    explicit LoggingCapture(CallLog& log) : log_(log) {}
    [[nodiscard]] bool IsRecording() const override { return recording; }
    bool StartRecord(std::int32_t rate, std::int16_t channels) override
    {
        log_.add("StartRecord " + std::to_string(rate) + " " + std::to_string(channels));
        recording = startSucceeds;
        return startSucceeds;
    }
    bool StopRecord() override
    {
        log_.add("StopRecord");
        recording = false;
        return stopSucceeds;
    }
    [[nodiscard]] std::int32_t DeviceCount() const override { return static_cast<std::int32_t>(devices.size()); }
    [[nodiscard]] std::string DeviceName(std::int32_t i) const override
    {
        return devices.at(static_cast<std::size_t>(i));
    }
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
    [[nodiscard]] std::int32_t MixerLineCount() const override
    {
        return selected < 0 ? 0 : static_cast<std::int32_t>(lines.size());
    }
    [[nodiscard]] std::string MixerLineName(std::int32_t i) const override
    {
        return lines.at(static_cast<std::size_t>(i));
    }
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
    void OnGotData(GotDataHandler handler) override { gotData = std::move(handler); }
    [[nodiscard]] std::uint64_t DroppedBytes() const override { return dropped; }

    bool recording = false;
    bool startSucceeds = true;
    bool stopSucceeds = true;
    std::vector<std::string> devices = {"Monitor of Null Output", "Microphone"};
    std::vector<std::string> lines = {"Line In", "Microphone"};
    int deviceWithoutMixer = -1;
    bool lineSelectable = true;
    std::int32_t selected = -1;
    std::int32_t line = 1;
    std::int32_t volume = 32768;
    GotDataHandler gotData;
    std::uint64_t dropped = 0;

private:
    CallLog& log_;
};

class LoggingEncoder final : public EncoderPort {
public:
    explicit LoggingEncoder(CallLog& log) : log_(log) {}
    std::int32_t Encoder_EncoderInit(std::int32_t rate, std::int16_t channels, const std::string& file) override
    {
        log_.add("EncoderInit " + std::to_string(rate) + " " + std::to_string(channels) + " " + file);
        if (initResult == 0) {
            open = true;
            bytesPerSec = rate * channels * 2;
        }
        return initResult;
    }
    std::int32_t Encoder_Encode(const void* buffer, std::int32_t length, std::int32_t& used) override
    {
        log_.add("Encode " + std::to_string(length));
        if (length > bytesPerSec) {
            return 8;  // what the real encoder does with a block over one second
        }
        const auto* bytes = static_cast<const unsigned char*>(buffer);
        written.insert(written.end(), bytes, bytes + length);
        used = length;
        return encodeResult;
    }
    std::int32_t Encoder_EncoderClose() override
    {
        log_.add("EncoderClose");
        const bool wasOpen = open;
        open = false;
        return wasOpen ? 0 : 2;
    }
    std::int32_t Encoder_EncoderMetrics(std::int32_t info) override
    {
        if (!open) {
            return -1;
        }
        return info == 1 ? bytesPerSec : 0;
    }
    void Encoder_AddMarker(std::int64_t frame, const std::string& label) override
    {
        markers.emplace_back(frame, label);
    }
    [[nodiscard]] std::string FormatTag() const override { return "PCM"; }
    [[nodiscard]] std::string FormatID() const override { return "44.1 kHz 16 Bit Stereo"; }

    std::int32_t initResult = 0;
    std::int32_t encodeResult = 0;
    bool open = false;
    std::int32_t bytesPerSec = 0;
    std::vector<unsigned char> written;
    std::vector<std::pair<std::int64_t, std::string>> markers;

private:
    CallLog& log_;
};

class LoggingEffects final : public EffectsPort {
public:
    explicit LoggingEffects(CallLog& log) : log_(log) {}
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
    std::int32_t bits = 0;
    bool halve = true;

private:
    CallLog& log_;
};

class LoggingEngines final : public Engines {
public:
    CapturePort& capture() override { return captureFake; }
    EncoderPort& encoder() override { return encoderFake; }
    EffectsPort& effects() override { return effectsFake; }
    void Release() override { log.add("Release"); }

    CallLog log;
    LoggingCapture captureFake{log};
    LoggingEncoder encoderFake{log};
    LoggingEffects effectsFake{log};
};

}  // namespace quillon::test
