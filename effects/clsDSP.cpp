#include "effects/clsDSP.h"

#include <array>
#include <cmath>
#include <new>
#include <stdexcept>

#include "common/QuillonError.h"
#include "effects/DspArithmetic.h"

namespace quillon {
namespace {

constexpr int32_t kDefaultBands = 7;
constexpr int32_t kMaxSamplerate = 96000;

int32_t RoundToInt(double v)
{
    return static_cast<int32_t>(std::nearbyint(v));
}

}  // namespace

clsDSP::clsDSP()
{
    SetupEcho();
    bandGains_.assign(kDefaultBands, 0.0f);
    bands_.resize(kDefaultBands);
}

void clsDSP::samplerate(int32_t lngSR)
{
    if (lngSR < 1 || lngSR > kMaxSamplerate) {
        throw QuillonError(32000, "invalid samplerate");
    }
    const int32_t previous = samplerate_;
    samplerate_ = lngSR;
    try {
        Restart();
    } catch (...) {
        samplerate_ = previous;  // the delay line that failed was never installed
        throw;
    }
}

void clsDSP::Channels(int16_t intCh)
{
    RequireChannels(intCh);
    const int16_t previous = channels_;
    channels_ = intCh;
    try {
        Restart();
    } catch (...) {
        channels_ = previous;
        throw;
    }
}

void clsDSP::Restart()
{
    nextChannel_ = 0;
    ResetAll();
}

void clsDSP::EchoLength(int32_t lngMS)
{
    const int32_t previous = echoLength_;
    echoLength_ = lngMS;
    try {
        SetupEcho();
    } catch (...) {
        echoLength_ = previous;
        throw;
    }
}

void clsDSP::EchoAmp(float sngAmp)
{
    echoAmp_ = sngAmp > kMaxEchoAmp ? kMaxEchoAmp : sngAmp;
    SetupEcho();
}

void clsDSP::SetPhaseShift(float& field, float value)
{
    field = value;
    SetupPhaseShift();
}

void clsDSP::EqualizerBands(int32_t lngBands)
{
    if (lngBands < 1 || lngBands > kMaxBands) {
        throw QuillonError(32000, "Out Of Bounds!");
    }
    std::vector<float> gains(static_cast<std::size_t>(lngBands), 0.0f);
    std::vector<IIRFilter> filters(static_cast<std::size_t>(lngBands));
    bandGains_.swap(gains);
    bands_.swap(filters);
    SetupEqualizer();
}

void clsDSP::CheckBand(int32_t index) const
{
    if (index < 0 || index >= EqualizerBands()) {
        throw QuillonError(32000, "Out Of Bounds!");
    }
}

float clsDSP::EqualizerBandGainDB(int32_t index) const
{
    CheckBand(index);
    return bandGains_[static_cast<std::size_t>(index)];
}

void clsDSP::EqualizerBandGainDB(int32_t index, float gain_db)
{
    CheckBand(index);
    bandGains_[static_cast<std::size_t>(index)] = gain_db;
    SetupEqualizer();
}

int32_t clsDSP::EqualizerBandFrequency(int32_t index) const
{
    CheckBand(index);
    return RoundToInt(static_cast<double>(bands_[static_cast<std::size_t>(index)].Frequency()));
}

const IIRFilter& clsDSP::EqualizerFilter(int32_t index) const
{
    CheckBand(index);
    return bands_[static_cast<std::size_t>(index)];
}

void clsDSP::ResetAll()
{
    if (samplerate_ == 0 || channels_ == 0) {
        return;
    }
    SetupEcho();
    SetupPhaseShift();
    SetupEqualizer();
}

void clsDSP::SetupEcho()
{
    if (samplerate_ == 0) {
        return;
    }
    const double frames = std::nearbyint(static_cast<double>(samplerate_) / 1000.0 * static_cast<double>(echoLength_));
    const std::size_t channels = channels_ > 0 ? static_cast<std::size_t>(channels_) : 1;
    // Less than one frame of delay leaves no line: the echo then passes blocks through.
    std::vector<int16_t> line;
    try {
        line.assign(frames >= 1.0 ? static_cast<std::size_t>(frames) * channels : 0, 0);
    } catch (const std::bad_alloc&) {
        throw QuillonError(32000, "Out of memory!");
    } catch (const std::length_error&) {
        throw QuillonError(32000, "Out of memory!");
    }
    delay_.swap(line);
    echoGainInUse_ = echoAmp_;
    delayCursor_ = 0;
}

void clsDSP::SetupPhaseShift()
{
    if (samplerate_ == 0) {
        return;
    }
    // A lowest frequency of 0 or below would drive the sweep to -1 (a division by 0) and beyond;
    // the settings window reaches it at the low end of its slider.
    const double f = phaseFrequency_ > 0.0f ? static_cast<double>(phaseFrequency_) : 1.0;
    const double sr = samplerate_;
    const double r = std::pow(2.0, static_cast<double>(phaseSweepRange_));
    phase_.sweepMin = static_cast<float>(f * static_cast<double>(dsp::kPi) / sr);
    phase_.sweepMax = static_cast<float>(f * static_cast<double>(dsp::kPi) * r / sr);
    phase_.sweepStep = static_cast<float>(std::pow(r, 2.0 * static_cast<double>(phaseSweepRate_) / sr));
    phase_.sweepStepInverse = static_cast<float>(1.0 / static_cast<double>(phase_.sweepStep));
    phase_.sweepMultiplier = phase_.sweepStep;
    phase_.sweepValue = phase_.sweepMin;
}

void clsDSP::SetupEqualizer()
{
    if (samplerate_ == 0) {
        return;
    }
    const auto n = static_cast<int32_t>(bands_.size());
    const double sr = samplerate_;
    const double top = std::nearbyint(sr / 3.0);
    const auto bandwidth = static_cast<float>(std::log(top / 80.0) / 4.0);
    const int16_t channels = channels_ > 0 ? channels_ : int16_t{1};
    for (int32_t i = 0; i < n; ++i) {
        // One band has no spread to divide: it sits at the geometric middle of 80 Hz...top.
        const double position = n > 1 ? static_cast<double>(i) / static_cast<double>(n - 1) : 0.5;
        const auto centre = static_cast<float>(std::pow(top / 80.0, position) * 80.0);
        IIRFilter& band = bands_[static_cast<std::size_t>(i)];
        band.Channels(channels);
        band.CreateBiquadIIR(IIRFilter::Peaking, bandGains_[static_cast<std::size_t>(i)], centre,
                             static_cast<float>(sr), bandwidth);
    }
}

void clsDSP::ProcessSamples(std::span<int16_t> intSamples)
{
    if (samplerate_ == 0 || channels_ == 0) {
        return;
    }
    if ((effectsUsed_ & kAmplify) != 0) {
        ApplyAmplify(intSamples, static_cast<float>(amplifyDB_));
    }
    if ((effectsUsed_ & kEcho) != 0) {
        ApplyEcho(intSamples);
    }
    const bool phase = (effectsUsed_ & kPhaseShift) != 0;
    const bool equalizer = (effectsUsed_ & kEqualizer) != 0;
    if (phase && equalizer) {
        ApplyPhaseShiftAndEqualizer(intSamples);
    } else if (phase) {
        ApplyPhaseShift(intSamples);
    } else if (equalizer) {
        ApplyEqualizer(intSamples);
    }
    const auto c = static_cast<std::size_t>(channels_);
    nextChannel_ = static_cast<int>((static_cast<std::size_t>(nextChannel_) + intSamples.size()) % c);
}

void clsDSP::ApplyAmplify(std::span<int16_t> block, float gainDB) const
{
    const auto factor = static_cast<float>(std::pow(10.0, static_cast<double>(gainDB) / 20.0));
    dsp::Amplify(block, factor);
}

void clsDSP::ApplyEcho(std::span<int16_t> block)
{
    if (delay_.empty()) {
        return;
    }
    // The echo may have been off while a block ended mid-frame: realign the cursor to the
    // channel of the next sample so each channel keeps meeting its own line.
    const auto c = static_cast<std::size_t>(channels_);
    delayCursor_ = delayCursor_ - delayCursor_ % c + static_cast<std::size_t>(nextChannel_);
    dsp::Echo(block, delay_, delayCursor_, echoGainInUse_);
}

void clsDSP::ApplyPhaseShift(std::span<int16_t> block)
{
    phase_.dry = phaseDry_;
    phase_.wet = phaseWet_;
    phase_.feedback = phaseFeedback_;
    dsp::PhaseShift(block, phase_, channels_, nextChannel_);
}

std::size_t clsDSP::EnabledSections(std::array<dsp::BiquadSection*, kMaxBands>& sections)
{
    std::size_t count = 0;
    for (IIRFilter& band : bands_) {
        if (band.Enabled()) {
            sections[count++] = &band.section_;
        }
    }
    return count;
}

void clsDSP::ApplyEqualizer(std::span<int16_t> block)
{
    std::array<dsp::BiquadSection*, kMaxBands> sections{};
    const std::size_t count = EnabledSections(sections);
    dsp::BiquadCascade16(block, std::span(sections.data(), count), channels_, nextChannel_);
}

void clsDSP::ApplyPhaseShiftAndEqualizer(std::span<int16_t> block)
{
    phase_.dry = phaseDry_;
    phase_.wet = phaseWet_;
    phase_.feedback = phaseFeedback_;
    std::array<dsp::BiquadSection*, kMaxBands> sections{};
    const std::size_t count = EnabledSections(sections);
    dsp::PhaseShiftThenCascade16(block, phase_, std::span(sections.data(), count), channels_, nextChannel_);
}

}  // namespace quillon
