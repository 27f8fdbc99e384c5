#include <QObject>

#include "capture/WaveInRecorder.h"
#include "effects/clsDSP.h"
#include "encoder/EncoderWAV.h"
#include "ui/recording/MakeEngines.h"

namespace quillon {
namespace {

class RecorderPort final : public CapturePort {
public:
    explicit RecorderPort(WaveInRecorder& recorder) : recorder_(recorder) {}

    [[nodiscard]] bool IsRecording() const override { return recorder_.IsRecording(); }
    bool StartRecord(std::int32_t samplerate, std::int16_t Channels) override
    {
        return recorder_.StartRecord(samplerate, Channels);
    }
    bool StopRecord() override { return recorder_.StopRecord(); }
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
        connection_ = QObject::connect(&recorder_, &WaveInRecorder::GotData,
                                       [handler = std::move(handler)](std::span<std::int16_t> buffer,
                                                                      std::int32_t& length) {
                                           handler(buffer, length);
                                       });
    }

private:
    WaveInRecorder& recorder_;
    QMetaObject::Connection connection_;
};

class EncoderAdapter final : public EncoderPort {
public:
    explicit EncoderAdapter(EncoderWAV& encoder) : encoder_(encoder) {}

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

private:
    EncoderWAV& encoder_;
};

class EffectsAdapter final : public EffectsPort {
public:
    explicit EffectsAdapter(clsDSP& effects) : effects_(effects) {}

    void samplerate(std::int32_t rate) override { effects_.samplerate(rate); }
    void Channels(std::int16_t channels) override { effects_.Channels(channels); }
    void ProcessSamples(std::vector<std::int16_t>& samples) override { effects_.ProcessSamples(samples); }
    [[nodiscard]] std::int32_t EffectsUsed() const override { return effects_.EffectsUsed(); }
    void EffectsUsed(std::int32_t bits) override { effects_.EffectsUsed(bits); }

private:
    clsDSP& effects_;
};

// Ports that outlive their objects: after Release they report an idle engine
// and do nothing.
class RealEngines final : public Engines {
public:
    explicit RealEngines(const CaptureBackend& backend)
        : recorder_(std::make_unique<WaveInRecorder>(backend)),
          encoder_(std::make_unique<EncoderWAV>()),
          effects_(std::make_unique<clsDSP>()),
          capturePort_(*recorder_),
          encoderPort_(*encoder_),
          effectsPort_(*effects_)
    {
    }

    CapturePort& capture() override { return capturePort_; }
    EncoderPort& encoder() override { return encoderPort_; }
    EffectsPort& effects() override { return effectsPort_; }
    // The ports keep references to the objects: nothing may use them afterwards.
    void Release() override
    {
        recorder_.reset();
        encoder_.reset();
    }
    clsDSP* clsEffects() override { return effects_.get(); }
    EncoderWAV* clsEncoder() override { return encoder_.get(); }
    WaveInRecorder* clsRecorder() override { return recorder_.get(); }

private:
    std::unique_ptr<WaveInRecorder> recorder_;
    std::unique_ptr<EncoderWAV> encoder_;
    std::unique_ptr<clsDSP> effects_;
    RecorderPort capturePort_;
    EncoderAdapter encoderPort_;
    EffectsAdapter effectsPort_;
};

}  // namespace

std::unique_ptr<Engines> MakeEngines(const CaptureBackend& backend) { return std::make_unique<RealEngines>(backend); }

}  // namespace quillon
