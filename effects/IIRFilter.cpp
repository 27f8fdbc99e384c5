#include "effects/IIRFilter.h"

#include <cmath>
#include <limits>

#include "common/QuillonError.h"
#include "effects/DspArithmetic.h"

namespace quillon {
namespace {

bool AllFinite(const dsp::BiquadCoefficients& k)
{
    return std::isfinite(k.b0) && std::isfinite(k.b1) && std::isfinite(k.b2) && std::isfinite(k.a1) &&
           std::isfinite(k.a2);
}

}  // namespace

void RequireChannels(int16_t intCh)
{
    if (intCh < 1 || intCh > dsp::kMaxChannels) {
        throw QuillonError(32000, "invalid channels");
    }
}

void IIRFilter::Channels(int16_t intCh)
{
    RequireChannels(intCh);
    channels_ = intCh;
    nextChannel_ = 0;
    section_.history = {};
}

void IIRFilter::UpdateFilter()
{
    if (samplerate_ > 0) {
        CreateBiquadIIR(type_, gainDB_, frequency_, static_cast<float>(samplerate_), bandwidth_);
    }
}

void IIRFilter::CreateBiquadIIR(int32_t IIRType, float dBGain, float freq, float srate, float bw)
{
    if (IIRType < LowPass || IIRType > Peaking) {
        throw QuillonError(32000, "Out Of Bounds!");
    }
    const double rate = std::nearbyint(static_cast<double>(srate));
    if (!(rate >= static_cast<double>(std::numeric_limits<int32_t>::min()) &&
          rate <= static_cast<double>(std::numeric_limits<int32_t>::max()))) {
        throw QuillonError(32000, "invalid samplerate");
    }

    const auto A = static_cast<float>(std::pow(10.0, static_cast<double>(dBGain) / 40.0));
    const double omega = static_cast<double>(freq) * static_cast<double>(dsp::kTwoPi) / static_cast<double>(srate);
    const auto sn = static_cast<float>(std::sin(omega));
    const auto cs = static_cast<float>(std::cos(omega));
    const double z = static_cast<double>(dsp::kLn2) / 2.0 * static_cast<double>(bw) * omega / static_cast<double>(sn);
    const auto alpha = static_cast<float>(static_cast<double>(sn) * ((std::exp(z) - std::exp(-z)) / 2.0));

    const double a = A;
    const double al = alpha;
    const double c = cs;
    double b0 = 0.0, b1 = 0.0, b2 = 0.0, a0 = 1.0, a1 = 0.0, a2 = 0.0;
    switch (IIRType) {
        case LowPass:
            b0 = (1.0 - c) / 2.0;
            b1 = 1.0 - c;
            b2 = (1.0 - c) / 2.0;
            a0 = 1.0 + al;
            a1 = -2.0 * c;
            a2 = 1.0 - al;
            break;
        case HighPass:
            b0 = (1.0 + c) / 2.0;
            b1 = -(1.0 + c);
            b2 = (1.0 + c) / 2.0;
            a0 = 1.0 + al;
            a1 = -2.0 * c;
            a2 = 1.0 - al;
            break;
        case BandPass:
            b0 = al;
            b1 = 0.0;
            b2 = -al;
            a0 = 1.0 + al;
            a1 = -2.0 * c;
            a2 = 1.0 - al;
            break;
        default:
            b0 = 1.0 + al * a;
            b1 = -2.0 * c;
            b2 = 1.0 - al * a;
            a0 = 1.0 + al / a;
            a1 = -2.0 * c;
            a2 = 1.0 - al / a;
            break;
    }
    dsp::BiquadCoefficients k{static_cast<float>(b0 / a0), static_cast<float>(b1 / a0), static_cast<float>(b2 / a0),
                              static_cast<float>(a1 / a0), static_cast<float>(a2 / a0)};
    // At 0 Hz (or 0 octaves, or rate 0) the formulas divide 0 by 0 or put a pole on the unit
    // circle; below 0 they put one outside it. Such a section passes its input through.
    if (!(freq > 0.0f && bw > 0.0f && srate > 0.0f) || !AllFinite(k)) {
        k = dsp::BiquadCoefficients{1.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    }

    samplerate_ = static_cast<int32_t>(rate);
    type_ = IIRType;
    gainDB_ = dBGain;
    frequency_ = freq;
    bandwidth_ = bw;
    section_.k = k;
    section_.history = {};
    nextChannel_ = 0;
}

void IIRFilter::AdvanceChannel(std::size_t samples)
{
    nextChannel_ =
        static_cast<int>((static_cast<std::size_t>(nextChannel_) + samples) % static_cast<std::size_t>(channels_));
}

void IIRFilter::ProcessSamples_16bit(std::span<int16_t> intSamples)
{
    if (!enabled_) {
        return;
    }
    dsp::BiquadSection* const one[] = {&section_};
    dsp::BiquadCascade16(intSamples, one, channels_, nextChannel_);
    AdvanceChannel(intSamples.size());
}

void IIRFilter::ProcessSamples_8bit(std::span<uint8_t> btSamples)
{
    if (!enabled_) {
        return;
    }
    dsp::Biquad8(btSamples, section_, channels_, nextChannel_);
    AdvanceChannel(btSamples.size());
}

}  // namespace quillon
