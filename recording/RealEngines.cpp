#include <QObject>

#include "capture/WaveInRecorder.h"
#include "effects/clsDSP.h"
#include "encoder/EncoderWAV.h"
#include "recording/MakeEngines.h"

namespace quillon {
namespace {

class RecorderPart final : public CapturePort {
public:
    explicit RecorderPart(const CaptureBackend& backend) : recorder_(backend), waveIn_(backend.waveIn) {}

    [[nodiscard]] WaveInRecorder* object() { return &recorder_; }
    [[nodiscard]] bool IsRecording() const override { return recorder_.IsRecording(); }
    bool StartRecord(std::int32_t samplerate, std::int16_t Channels) override
    {
        return recorder_.StartRecord(samplerate, Channels);
    }
    bool StopRecord() override { return recorder_.StopRecord(); }
    [[nodiscard]] std::string StartFailureReason() const override
    {
        const std::string reason = waveIn_ ? waveIn_->unavailableReason() : std::string();
        if (reason.empty()) {
            return {};
        }
        const QString server = qEnvironmentVariable("PULSE_SERVER", QStringLiteral("the default sound server"));
        return server.toStdString() + ": " + reason;
    }
    [[nodiscard]] std::int32_t DeviceCount() const override { return recorder_.DeviceCount(); }
    [[nodiscard]] std::string DeviceName(std::int32_t index) const override { return recorder_.DeviceName(index); }
    bool SelectDevice(std::int32_t index) override { return recorder_.SelectDevice(index); }
    [[nodiscard]] std::int32_t SelectedDevice() const override { return recorder_.SelectedDevice(); }
    [[nodiscard]] std::int32_t MixerLineCount() const override { return recorder_.MixerLineCount(); }
    [[nodiscard]] std::string MixerLineName(std::int32_t index) const override
    {
        return recorder_.MixerLineName(index);
    }
    bool SelectMixerLine(std::int32_t index) override { return recorder_.SelectMixerLine(index); }
    [[nodiscard]] std::int32_t SelectedMixerLine() const override { return recorder_.SelectedMixerLine(); }
    [[nodiscard]] std::int32_t MixerLineVolume() const override { return recorder_.MixerLineVolume(); }
    void MixerLineVolume(std::int32_t volume) override { recorder_.MixerLineVolume(volume); }
    void OnGotData(GotDataHandler handler) override
    {
        QObject::disconnect(connection_);
        connection_ =
            QObject::connect(&recorder_, &WaveInRecorder::GotData,
                             [handler = std::move(handler)](std::span<std::int16_t> buffer, std::int32_t& length) {
                                 handler(buffer, length);
                             });
    }

    [[nodiscard]] std::int32_t BufferSize() const override { return recorder_.BufferSize(); }
    void DeliveryBuffers(std::int32_t count) override { recorder_.DeliveryBuffers(count); }
    void NotifyLatency(std::chrono::milliseconds latency) override { recorder_.NotifyLatency(latency); }
    [[nodiscard]] std::size_t WaitingCount() const override { return recorder_.WaitingCount(); }
    void DeliverWaiting(std::size_t limit) override { recorder_.DeliverWaiting(limit); }

    [[nodiscard]] std::uint64_t DroppedBytes() const override { return recorder_.DroppedBytes(); }
    void OnDropout(DropoutHandler handler) override
    {
        QObject::disconnect(dropoutConnection_);
        dropoutConnection_ = QObject::connect(&recorder_, &WaveInRecorder::Dropout, std::move(handler));
    }
    void OnDeviceLost(std::function<void()> handler) override
    {
        QObject::disconnect(lostConnection_);
        lostConnection_ = QObject::connect(&recorder_, &WaveInRecorder::DeviceLost, std::move(handler));
    }

    [[nodiscard]] std::string DeviceId(std::int32_t index) const override { return recorder_.DeviceId(index); }
    [[nodiscard]] bool MixerLineUnplugged(std::int32_t index) const override
    {
        return recorder_.MixerLineUnplugged(index);
    }
    [[nodiscard]] std::string SelectedDeviceId() const override { return recorder_.SelectedDeviceId(); }
    [[nodiscard]] std::string LastError() const override { return recorder_.LastError(); }
    [[nodiscard]] std::string ServerProblem() const override { return recorder_.ServerProblem(); }
    void OnDevicesChanged(std::function<void()> handler) override
    {
        QObject::disconnect(changedConnection_);
        changedConnection_ = QObject::connect(&recorder_, &WaveInRecorder::DevicesChanged, std::move(handler));
    }

private:
    WaveInRecorder recorder_;
    std::shared_ptr<WaveIn> waveIn_;
    QMetaObject::Connection changedConnection_;
    QMetaObject::Connection connection_;
    QMetaObject::Connection lostConnection_;
    QMetaObject::Connection dropoutConnection_;
};

class EncoderPart final : public EncoderPort {
public:
    [[nodiscard]] EncoderWAV* object() { return &encoder_; }
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
    [[nodiscard]] std::string FormatTag() const override { return encoder_.FormatTag(); }
    [[nodiscard]] std::string FormatID() const override { return encoder_.FormatID(); }
    [[nodiscard]] std::int64_t Encoder_FileLength() const override { return encoder_.Encoder_FileLength(); }
    [[nodiscard]] std::int64_t Encoder_MaxOutputBytes(std::int32_t length) const override
    {
        return encoder_.Encoder_MaxOutputBytes(length);
    }
    std::int32_t Encoder_NextFile(const std::string& fileName) override { return encoder_.Encoder_NextFile(fileName); }
    [[nodiscard]] std::string Encoder_FileError() const override { return encoder_.Encoder_FileError(); }

private:
    EncoderWAV encoder_;
};

class EffectsPart final : public EffectsPort {
public:
    [[nodiscard]] clsDSP* object() { return &effects_; }
    void samplerate(std::int32_t rate) override { effects_.samplerate(rate); }
    void Channels(std::int16_t channels) override { effects_.Channels(channels); }
    void ProcessSamples(std::vector<std::int16_t>& samples) override { effects_.ProcessSamples(samples); }
    [[nodiscard]] std::int32_t EffectsUsed() const override { return effects_.EffectsUsed(); }
    void EffectsUsed(std::int32_t bits) override { effects_.EffectsUsed(bits); }

private:
    clsDSP effects_;
};

class RealEngines final : public Engines {
public:
    explicit RealEngines(const CaptureBackend& backend)
        : capture_(std::make_unique<RecorderPart>(backend)),
          encoder_(std::make_unique<EncoderPart>()),
          effects_(std::make_unique<EffectsPart>())
    {
    }

    CapturePort& capture() override { return *capture_; }
    EncoderPort& encoder() override { return *encoder_; }
    EffectsPort& effects() override { return *effects_; }
    // The capture engine first, then the encoder; nothing may use them afterwards.
    void Release() override
    {
        capture_.reset();
        encoder_.reset();
    }
    clsDSP* clsEffects() override { return effects_->object(); }
    EncoderWAV* clsEncoder() override { return encoder_ ? encoder_->object() : nullptr; }
    WaveInRecorder* clsRecorder() override { return capture_ ? capture_->object() : nullptr; }

private:
    std::unique_ptr<RecorderPart> capture_;
    std::unique_ptr<EncoderPart> encoder_;
    std::unique_ptr<EffectsPart> effects_;
};

}  // namespace

std::unique_ptr<Engines> MakeEngines(const CaptureBackend& backend)
{
    return std::make_unique<RealEngines>(backend);
}

}  // namespace quillon
