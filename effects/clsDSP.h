#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "effects/DspKernels.h"
#include "effects/IIRFilter.h"

namespace quillon {

// The real-time effects chain run over every captured block: amplifier, echo, phase shifter and
// a peaking equalizer, in that order, each switched on by a bit of EffectsUsed. Interleaved
// stereo is handled per channel: every channel has its own delay line, all-pass stages and filter
// history, and the echo position and the sweep advance once per frame.
// Single-threaded: setters and ProcessSamples come from one thread, setters between blocks.
class clsDSP {
public:
    // EffectsUsed bits
    static constexpr int32_t kEcho = 1;
    static constexpr int32_t kPhaseShift = 2;
    static constexpr int32_t kAmplify = 4;
    static constexpr int32_t kEqualizer = 8;

    static constexpr int32_t kMaxBands = 10;
    static constexpr float kMaxEchoAmp = 0.9f;

    clsDSP();

    // Sample rate of the blocks, 1...96000 Hz (error 32000 "invalid samplerate"); 0 = not yet set.
    [[nodiscard]] int32_t samplerate() const { return samplerate_; }
    void samplerate(int32_t lngSR);

    // 1 = mono, 2 = interleaved stereo (error 32000 "invalid channels"); 0 = not yet set.
    [[nodiscard]] int16_t Channels() const { return channels_; }
    void Channels(int16_t intCh);

    // Which effects run: kEcho | kPhaseShift | kAmplify | kEqualizer.
    [[nodiscard]] int32_t EffectsUsed() const { return effectsUsed_; }
    void EffectsUsed(int32_t ude) { effectsUsed_ = ude; }

    // Delay in ms; a length that gives less than one frame turns the echo into a pass-through.
    [[nodiscard]] int32_t EchoLength() const { return echoLength_; }
    void EchoLength(int32_t lngMS);

    // Feedback gain of the delay line, at most 0.9 (larger values are stored as 0.9).
    [[nodiscard]] float EchoAmp() const { return echoAmp_; }
    void EchoAmp(float sngAmp);

    // Amplifier gain in dB.
    [[nodiscard]] int32_t AmplifyDB() const { return amplifyDB_; }
    void AmplifyDB(int32_t lngVol) { amplifyDB_ = lngVol; }

    // Gain of the all-pass output in the mix.
    [[nodiscard]] float PhaseShiftWet() const { return phaseWet_; }
    void PhaseShiftWet(float sng) { SetPhaseShift(phaseWet_, sng); }
    // Gain of the unprocessed input in the mix.
    [[nodiscard]] float PhaseShiftDry() const { return phaseDry_; }
    void PhaseShiftDry(float sng) { SetPhaseShift(phaseDry_, sng); }
    // Share of the previous output added to the input (between -1 and 1).
    [[nodiscard]] float PhaseShiftFeedback() const { return phaseFeedback_; }
    void PhaseShiftFeedback(float sng) { SetPhaseShift(phaseFeedback_, sng); }
    // Sweeps (up and down) per second.
    [[nodiscard]] float PhaseShiftSweepRate() const { return phaseSweepRate_; }
    void PhaseShiftSweepRate(float sng) { SetPhaseShift(phaseSweepRate_, sng); }
    // Width of the sweep in octaves.
    [[nodiscard]] float PhaseShiftSweepRange() const { return phaseSweepRange_; }
    void PhaseShiftSweepRange(float sng) { SetPhaseShift(phaseSweepRange_, sng); }
    // Lowest frequency of the sweep in Hz; at 0 or below the sweep starts at 1 Hz.
    [[nodiscard]] float PhaseShiftFrequency() const { return phaseFrequency_; }
    void PhaseShiftFrequency(float sng) { SetPhaseShift(phaseFrequency_, sng); }

    // Number of equalizer bands, 1...10 (error 32000 "Out Of Bounds!"); setting it resets every
    // band to 0 dB.
    [[nodiscard]] int32_t EqualizerBands() const { return static_cast<int32_t>(bandGains_.size()); }
    void EqualizerBands(int32_t lngBands);

    // Gain of band `index` (0...EqualizerBands-1, error 32000 "Out Of Bounds!" otherwise), in dB.
    [[nodiscard]] float EqualizerBandGainDB(int32_t index) const;
    void EqualizerBandGainDB(int32_t index, float gain_db);

    // Centre of band `index` in Hz, rounded; 0 until the sample rate is known.
    [[nodiscard]] int32_t EqualizerBandFrequency(int32_t index) const;

    // The band's filter, for drawing its response.
    [[nodiscard]] const IIRFilter& EqualizerFilter(int32_t index) const;

    // Runs the switched-on effects over the caller's block in place. Allocates nothing.
    void ProcessSamples(std::span<int16_t> intSamples);

private:
    void ResetAll();
    // After a new rate or channel count: the next sample starts a frame, all state anew.
    void Restart();
    // Stores one phase-shifter setting and recomputes the sweep.
    void SetPhaseShift(float& field, float value);
    void SetupEcho();
    void SetupPhaseShift();
    void SetupEqualizer();
    void ApplyAmplify(std::span<int16_t> block, float gainDB) const;
    void ApplyEcho(std::span<int16_t> block);
    void ApplyPhaseShift(std::span<int16_t> block);
    void ApplyEqualizer(std::span<int16_t> block);
    void ApplyPhaseShiftAndEqualizer(std::span<int16_t> block);
    // The sections of the switched-on bands, in order; returns their count.
    std::size_t EnabledSections(std::array<dsp::BiquadSection*, kMaxBands>& sections);
    void CheckBand(int32_t index) const;

    int32_t samplerate_ = 0;
    int16_t channels_ = 0;
    int32_t effectsUsed_ = 0;
    int32_t amplifyDB_ = 3;

    int32_t echoLength_ = 100;
    float echoAmp_ = 0.4f;
    float echoGainInUse_ = 0.0f;
    std::vector<int16_t> delay_;   // L frames, channels interleaved
    std::size_t delayCursor_ = 0;  // index in delay_ of the next sample

    float phaseDry_ = 1.0f;
    float phaseWet_ = 1.0f;
    float phaseFeedback_ = 0.5f;
    float phaseSweepRate_ = 1.0f;
    float phaseSweepRange_ = 4.0f;
    float phaseFrequency_ = 100.0f;
    dsp::PhaseShifterState phase_;

    std::vector<float> bandGains_;
    std::vector<IIRFilter> bands_;

    int nextChannel_ = 0;  // channel of the next sample, for frames split across blocks
};

}  // namespace quillon
