// Used only while the capture, encoder and effects libraries are not in the
// build: a machine without recording devices.
#include "recording/MakeEngines.h"

namespace quillon {
namespace {

class NoCapture final : public CapturePort {
public:
    [[nodiscard]] bool IsRecording() const override { return false; }
    bool StartRecord(std::int32_t /*samplerate*/, std::int16_t /*Channels*/) override { return false; }
    bool StopRecord() override { return true; }
    [[nodiscard]] std::int32_t DeviceCount() const override { return 0; }
    [[nodiscard]] std::string DeviceName(std::int32_t /*index*/) const override { return {}; }
    bool SelectDevice(std::int32_t /*index*/) override { return false; }
    [[nodiscard]] std::int32_t SelectedDevice() const override { return -1; }
    [[nodiscard]] std::int32_t MixerLineCount() const override { return 0; }
    [[nodiscard]] std::string MixerLineName(std::int32_t /*index*/) const override { return {}; }
    bool SelectMixerLine(std::int32_t /*index*/) override { return false; }
    [[nodiscard]] std::int32_t SelectedMixerLine() const override { return -1; }
    [[nodiscard]] std::int32_t MixerLineVolume() const override { return 0; }
    void MixerLineVolume(std::int32_t /*volume*/) override {}
    void OnGotData(GotDataHandler /*handler*/) override {}
};

class NoEncoder final : public EncoderPort {
public:
    std::int32_t Encoder_EncoderInit(std::int32_t, std::int16_t, const std::string&) override { return 7; }
    std::int32_t Encoder_Encode(const void*, std::int32_t, std::int32_t&) override { return 9; }
    std::int32_t Encoder_EncoderClose() override { return 2; }
    std::int32_t Encoder_EncoderMetrics(std::int32_t) override { return -1; }
    [[nodiscard]] std::string FormatTag() const override { return "PCM"; }
    [[nodiscard]] std::string FormatID() const override { return "44.1 kHz 16 Bit Stereo"; }
};

class NoEffects final : public EffectsPort {
public:
    void samplerate(std::int32_t) override {}
    void Channels(std::int16_t) override {}
    void ProcessSamples(std::vector<std::int16_t>&) override {}
    [[nodiscard]] std::int32_t EffectsUsed() const override { return bits_; }
    void EffectsUsed(std::int32_t bits) override { bits_ = bits; }

private:
    std::int32_t bits_ = 0;
};

class NoEngines final : public Engines {
public:
    CapturePort& capture() override { return capture_; }
    EncoderPort& encoder() override { return encoder_; }
    EffectsPort& effects() override { return effects_; }
    void Release() override {}

private:
    NoCapture capture_;
    NoEncoder encoder_;
    NoEffects effects_;
};

}  // namespace

std::unique_ptr<Engines> MakeEngines()
{
    return std::make_unique<NoEngines>();
}

}  // namespace quillon
