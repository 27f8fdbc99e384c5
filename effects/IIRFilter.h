#pragma once

#include <cstdint>
#include <span>

#include "effects/DspKernels.h"

namespace quillon {

class clsDSP;

// Refuses a channel count other than 1 or 2: error 32000 "invalid channels".
void RequireChannels(int16_t intCh);

// One second-order recursive section (biquad): low-pass, high-pass, band-pass (0 dB at the
// centre) or peaking, with the bandwidth in octaves. Filters 16-bit or 8-bit blocks in place and
// keeps its history between blocks, one history per channel of an interleaved block.
class IIRFilter {
public:
    enum Type : int32_t { LowPass = 0, HighPass = 1, BandPass = 2, Peaking = 3 };

    IIRFilter() = default;

    // When false, processing leaves blocks unchanged.
    [[nodiscard]] bool Enabled() const { return enabled_; }
    void Enabled(bool blnVal) { enabled_ = blnVal; }

    // Bandwidth in octaves.
    [[nodiscard]] float Bandwidth() const { return bandwidth_; }
    void Bandwidth(float sngVal) { SetAndUpdate(bandwidth_, sngVal); }

    // Gain in dB, used by the peaking type.
    [[nodiscard]] float GainDB() const { return gainDB_; }
    void GainDB(float sngVal) { SetAndUpdate(gainDB_, sngVal); }

    // Corner or centre frequency in Hz.
    [[nodiscard]] float Frequency() const { return frequency_; }
    void Frequency(float sngVal) { SetAndUpdate(frequency_, sngVal); }

    // Sample rate in Hz; 0 means the coefficients were never computed.
    [[nodiscard]] int32_t samplerate() const { return samplerate_; }
    void samplerate(int32_t lngVal) { SetAndUpdate(samplerate_, lngVal); }

    [[nodiscard]] int32_t IIRType() const { return type_; }

    // Channels of the interleaved blocks (1 or 2; error 32000 otherwise). Clears the history.
    [[nodiscard]] int16_t Channels() const { return channels_; }
    void Channels(int16_t intCh);

    // Stores the five values and computes the coefficients; clears the history. A type outside
    // 0...3 raises error 32000. Where the formulas have no finite value (a frequency or bandwidth
    // of 0 or below, a rate of 0) the section passes its input through.
    void CreateBiquadIIR(int32_t IIRType, float dBGain, float freq, float srate, float bw);

    void ProcessSamples_16bit(std::span<int16_t> intSamples);
    void ProcessSamples_8bit(std::span<uint8_t> btSamples);

    // Normalised coefficients (already divided by a0).
    [[nodiscard]] const dsp::BiquadCoefficients& Coefficients() const { return section_.k; }

private:
    friend class clsDSP;

    // Stores one of the five values and recomputes the coefficients.
    template <typename T>
    void SetAndUpdate(T& field, T value)
    {
        field = value;
        UpdateFilter();
    }
    void UpdateFilter();
    void AdvanceChannel(std::size_t samples);

    bool enabled_ = true;
    int32_t type_ = LowPass;
    float gainDB_ = 0.0f;
    float frequency_ = 0.0f;
    float bandwidth_ = 0.0f;
    int32_t samplerate_ = 0;
    int16_t channels_ = 1;
    int nextChannel_ = 0;  // channel of the next sample, for frames split across blocks
    dsp::BiquadSection section_;
};

}  // namespace quillon
