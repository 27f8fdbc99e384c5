#pragma once

// The recording's ports on the real capture engine, encoder and effects chain.
#include <QMetaObject>

#include <memory>

#include "capture/CaptureBackend.h"
#include "capture/WaveInRecorder.h"
#include "effects/clsDSP.h"
#include "encoder/EncoderWAV.h"
#include "recording/RecordingPorts.h"

namespace quillon {

class RealCapture final : public CapturePort {
public:
    explicit RealCapture(const CaptureBackend& backend);

    [[nodiscard]] bool IsRecording() const override { return recorder_.IsRecording(); }
    bool StartRecord(std::int32_t samplerate, std::int16_t Channels) override
    {
        return recorder_.StartRecord(samplerate, Channels);
    }
    bool StopRecord() override { return recorder_.StopRecord(); }
    [[nodiscard]] std::string StartFailureReason() const override;

    [[nodiscard]] std::int32_t DeviceCount() const override { return recorder_.DeviceCount(); }
    [[nodiscard]] std::string DeviceName(std::int32_t index) const override { return recorder_.DeviceName(index); }
    [[nodiscard]] std::string DeviceId(std::int32_t index) const override { return recorder_.DeviceId(index); }
    bool SelectDevice(std::int32_t index) override { return recorder_.SelectDevice(index); }
    [[nodiscard]] std::int32_t SelectedDevice() const override { return recorder_.SelectedDevice(); }
    [[nodiscard]] std::string SelectedDeviceId() const override { return recorder_.SelectedDeviceId(); }
    [[nodiscard]] std::int32_t MixerLineCount() const override { return recorder_.MixerLineCount(); }
    [[nodiscard]] std::string MixerLineName(std::int32_t index) const override
    {
        return recorder_.MixerLineName(index);
    }
    [[nodiscard]] bool MixerLineUnplugged(std::int32_t index) const override
    {
        return recorder_.MixerLineUnplugged(index);
    }
    bool SelectMixerLine(std::int32_t index) override { return recorder_.SelectMixerLine(index); }
    [[nodiscard]] std::int32_t SelectedMixerLine() const override { return recorder_.SelectedMixerLine(); }
    [[nodiscard]] std::int32_t MixerLineVolume() const override { return recorder_.MixerLineVolume(); }
    void MixerLineVolume(std::int32_t volume) override { recorder_.MixerLineVolume(volume); }
    [[nodiscard]] std::string LastError() const override { return recorder_.LastError(); }
    [[nodiscard]] std::string ServerProblem() const override { return recorder_.ServerProblem(); }

    void OnGotData(GotDataHandler handler) override;
    void OnDropout(DropoutHandler handler) override;
    void OnDeviceLost(std::function<void()> handler) override;
    void OnDevicesChanged(std::function<void()> handler) override;
    [[nodiscard]] std::uint64_t DroppedBytes() const override { return recorder_.DroppedBytes(); }

    [[nodiscard]] std::int32_t BufferSize() const override { return recorder_.BufferSize(); }
    [[nodiscard]] std::int32_t DeliveryBuffers() const override { return recorder_.DeliveryBuffers(); }
    void DeliveryBuffers(std::int32_t count) override { recorder_.DeliveryBuffers(count); }
    void NotifyLatency(std::chrono::milliseconds latency) override { recorder_.NotifyLatency(latency); }
    void DeliverWaiting(std::size_t limit) override { recorder_.DeliverWaiting(limit); }
    [[nodiscard]] std::size_t WaitingCount() const override { return recorder_.WaitingCount(); }

private:
    WaveInRecorder recorder_;
    std::shared_ptr<WaveIn> waveIn_;
    QMetaObject::Connection gotData_;
    QMetaObject::Connection dropout_;
    QMetaObject::Connection deviceLost_;
    QMetaObject::Connection devicesChanged_;
};

class RealEncoder final : public EncoderPort {
public:
    std::int32_t Encoder_EncoderInit(std::int32_t samplerate, std::int16_t Channels,
                                     const std::string& fileName) override
    {
        return encoder_.Encoder_EncoderInit(samplerate, Channels, fileName);
    }
    std::int32_t Encoder_Encode(const void* buffer, std::int32_t length, std::int32_t& used) override
    {
        return encoder_.Encoder_Encode(buffer, length, used);
    }
    std::int32_t Encoder_EncoderClose() override { return encoder_.Encoder_EncoderClose(); }
    std::int32_t Encoder_EncoderMetrics(std::int32_t info) override { return encoder_.Encoder_EncoderMetrics(info); }
    std::int32_t Encoder_NextFile(const std::string& fileName) override { return encoder_.Encoder_NextFile(fileName); }
    [[nodiscard]] std::int64_t Encoder_FileLength() const override { return encoder_.Encoder_FileLength(); }
    [[nodiscard]] std::int64_t Encoder_MaxOutputBytes(std::int32_t length) const override
    {
        return encoder_.Encoder_MaxOutputBytes(length);
    }
    [[nodiscard]] std::string Encoder_FileError() const override { return encoder_.Encoder_FileError(); }
    void Encoder_AddMarker(std::int64_t sourceFrame, const std::string& label) override
    {
        encoder_.Encoder_AddMarker(sourceFrame, label);
    }

    [[nodiscard]] std::string FormatTag() const override { return encoder_.FormatTag(); }
    [[nodiscard]] std::string FormatID() const override { return encoder_.FormatID(); }
    [[nodiscard]] std::string Encoder_Description() const override { return encoder_.Encoder_Description(); }
    [[nodiscard]] std::string Encoder_Extension() const override { return encoder_.Encoder_Extension(); }
    void SetFormat(const void* format, std::int32_t length, const std::string& FormatID,
                   const std::string& FormatTag) override
    {
        encoder_.SetFormat(format, length, FormatID, FormatTag);
    }
    std::int32_t SelectFormat(std::int32_t samplerate, std::int16_t Channels, void* owner,
                              const std::string& title) override
    {
        return encoder_.SelectFormat(samplerate, Channels, owner, title);
    }

    // The writer itself, for what the recording does not set (how often the header is updated).
    [[nodiscard]] EncoderWAV& Writer() { return encoder_; }

private:
    EncoderWAV encoder_;
};

class RealEffects final : public EffectsPort {
public:
    void samplerate(std::int32_t rate) override { effects_.samplerate(rate); }
    void Channels(std::int16_t channels) override { effects_.Channels(channels); }
    void ProcessSamples(std::vector<std::int16_t>& samples) override { effects_.ProcessSamples(samples); }
    [[nodiscard]] std::int32_t EffectsUsed() const override { return effects_.EffectsUsed(); }
    void EffectsUsed(std::int32_t bits) override { effects_.EffectsUsed(bits); }
    [[nodiscard]] clsDSP& Settings() override { return effects_; }

private:
    clsDSP effects_;
};

class RealPorts final : public RecordingPorts {
public:
    // Capture on the sound server.
    RealPorts();
    // Capture through the given wave-input and mixer services (the fakes, in tests).
    explicit RealPorts(const CaptureBackend& backend);

    CapturePort& capture() override { return *capture_; }
    EncoderPort& encoder() override { return *encoder_; }
    EffectsPort& effects() override { return effects_; }
    void Release() override;

private:
    std::unique_ptr<RealCapture> capture_;
    std::unique_ptr<RealEncoder> encoder_;
    RealEffects effects_;
};

}  // namespace quillon
