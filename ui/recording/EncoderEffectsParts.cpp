#include "effects/clsDSP.h"
#include "encoder/EncoderWAV.h"
#include "ui/recording/EngineParts.h"

namespace quillon {
namespace {

class EncoderPart final : public OwnedEncoder {
public:
    [[nodiscard]] EncoderWAV* object() override { return &encoder_; }
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

private:
    EncoderWAV encoder_;
};

class EffectsPart final : public OwnedEffects {
public:
    [[nodiscard]] clsDSP* object() override { return &effects_; }
    void samplerate(std::int32_t rate) override { effects_.samplerate(rate); }
    void Channels(std::int16_t channels) override { effects_.Channels(channels); }
    void ProcessSamples(std::vector<std::int16_t>& samples) override { effects_.ProcessSamples(samples); }
    [[nodiscard]] std::int32_t EffectsUsed() const override { return effects_.EffectsUsed(); }
    void EffectsUsed(std::int32_t bits) override { effects_.EffectsUsed(bits); }

private:
    clsDSP effects_;
};

}  // namespace

std::unique_ptr<OwnedEncoder> MakeEncoderPart()
{
    return std::make_unique<EncoderPart>();
}

std::unique_ptr<OwnedEffects> MakeEffectsPart()
{
    return std::make_unique<EffectsPart>();
}

}  // namespace quillon
