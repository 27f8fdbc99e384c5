#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <span>
#include <vector>

#include "ReferenceChain.h"
#include "effects/DspKernels.h"
#include "effects/IIRFilter.h"
#include "effects/clsDSP.h"

namespace quillon {
namespace {

using test::ReferenceChain;

// Every instruction set this processor can run, each chosen in turn for the duration of `fn`.
template <typename Fn>
void ForEachSimdLevel(Fn fn)
{
    const dsp::SimdLevel best = dsp::SupportedSimdLevel();
    for (const dsp::SimdLevel level : {dsp::SimdLevel::Sse2, dsp::SimdLevel::Avx2, dsp::SimdLevel::Avx512}) {
        if (static_cast<int>(level) > static_cast<int>(best)) {
            break;
        }
        ASSERT_EQ(dsp::UseSimdLevel(level), level);
        SCOPED_TRACE("instruction set " + std::to_string(static_cast<int>(level)));
        fn();
    }
    dsp::UseSimdLevel(best);
}

clsDSP Build(const ReferenceChain::Settings& s)
{
    clsDSP dsp;
    dsp.EqualizerBands(static_cast<int32_t>(s.bandGains.size()));
    dsp.samplerate(s.samplerate);
    dsp.Channels(static_cast<int16_t>(s.channels));
    dsp.EffectsUsed(s.effects);
    dsp.AmplifyDB(s.amplifyDB);
    dsp.EchoLength(s.echoLength);
    dsp.EchoAmp(s.echoAmp);
    dsp.PhaseShiftDry(s.dry);
    dsp.PhaseShiftWet(s.wet);
    dsp.PhaseShiftFeedback(s.feedback);
    dsp.PhaseShiftSweepRate(s.sweepRate);
    dsp.PhaseShiftSweepRange(s.sweepRange);
    dsp.PhaseShiftFrequency(s.frequency);
    for (std::size_t i = 0; i < s.bandGains.size(); ++i) {
        dsp.EqualizerBandGainDB(static_cast<int32_t>(i), s.bandGains[i]);
    }
    return dsp;
}

// Random settings within (and a little beyond) what the settings window offers.
ReferenceChain::Settings RandomSettings(std::mt19937& gen, int channels, int effects)
{
    auto uni = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(gen); };
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); };
    const int rates[] = {8000, 11025, 22050, 44100, 48000, 96000};
    ReferenceChain::Settings s;
    s.samplerate = rates[pick(0, 5)];
    s.channels = channels;
    s.effects = effects;
    s.amplifyDB = pick(-12, 12);
    s.echoLength = pick(1, 300);
    s.echoAmp = static_cast<float>(pick(1, 9)) / 10.0f;
    s.dry = static_cast<float>(pick(-10, 10)) / 10.0f;
    s.wet = static_cast<float>(pick(-10, 10)) / 10.0f;
    s.feedback = static_cast<float>(pick(-9, 9)) / 10.0f;
    s.sweepRate = static_cast<float>(pick(1, 15)) / 10.0f;
    s.sweepRange = static_cast<float>(pick(30, 60)) / 10.0f;
    s.frequency = static_cast<float>(pick(-10, 150));
    s.bandGains.assign(static_cast<std::size_t>(pick(1, 10)), 0.0f);
    for (float& g : s.bandGains) {
        g = static_cast<float>(uni(-12.0, 12.0));
    }
    return s;
}

// Noise, tones, full-scale steps and stretches of silence (the silent tail after loud sound
// is where state values shrink towards the denormal range).
std::vector<int16_t> RandomSignal(std::mt19937& gen, std::size_t n)
{
    std::vector<int16_t> v(n);
    std::size_t i = 0;
    while (i < n) {
        const std::size_t len = std::min<std::size_t>(n - i, std::uniform_int_distribution<std::size_t>(1, 6000)(gen));
        const int kind = std::uniform_int_distribution<int>(0, 3)(gen);
        const int amp = std::uniform_int_distribution<int>(0, 32767)(gen);
        for (std::size_t j = 0; j < len; ++j, ++i) {
            switch (kind) {
                case 0:
                    v[i] = static_cast<int16_t>(std::uniform_int_distribution<int>(-amp - 1, amp)(gen));
                    break;
                case 1:
                    v[i] = static_cast<int16_t>(amp * ((j / 37) % 2 == 0 ? 1 : -1));
                    break;
                case 2:
                    v[i] = 0;
                    break;
                default:
                    v[i] = (j % 2 == 0) ? int16_t{32767} : int16_t{-32768};
                    break;
            }
        }
    }
    return v;
}

void ExpectSameAsReference(const ReferenceChain::Settings& s, const std::vector<int16_t>& signal, std::mt19937& gen,
                           const char* what)
{
    ReferenceChain ref(s);
    clsDSP dsp = Build(s);
    auto expected = signal;
    auto got = signal;
    std::size_t pos = 0;
    while (pos < signal.size()) {
        // mostly whole capture buffers, sometimes odd pieces that split a frame
        std::size_t n = std::uniform_int_distribution<int>(0, 3)(gen) == 0
                            ? std::uniform_int_distribution<std::size_t>(1, 3000)(gen)
                            : 5120;
        n = std::min(n, signal.size() - pos);
        ref.Process(std::span(expected).subspan(pos, n));
        dsp.ProcessSamples(std::span(got).subspan(pos, n));
        pos += n;
    }
    const auto mismatch = std::mismatch(got.begin(), got.end(), expected.begin());
    ASSERT_TRUE(mismatch.first == got.end())
        << what << ": first difference at sample " << (mismatch.first - got.begin()) << ", got " << *mismatch.first
        << ", reference " << *mismatch.second << " (rate " << s.samplerate << ", channels " << s.channels
        << ", effects " << s.effects << ", bands " << s.bandGains.size() << ")";
}

TEST(FastPath, everyEffectAloneAndTogether_matchesThePlainLoopBitForBit)
{
    std::mt19937 gen(20261207);
    ForEachSimdLevel([&] {
        for (const int channels : {1, 2}) {
            for (const int effects :
                 {clsDSP::kAmplify, clsDSP::kEcho, clsDSP::kPhaseShift, clsDSP::kEqualizer, 15, 12, 10, 3}) {
                for (int round = 0; round < 4; ++round) {
                    const auto s = RandomSettings(gen, channels, effects);
                    ExpectSameAsReference(s, RandomSignal(gen, 60000), gen, "random settings");
                }
            }
        }
    });
}

TEST(FastPath, phaseShifterAndEqualizer_everyBandCountAndBlockSplit_onEveryInstructionSet)
{
    // Fewer frames than bands, single samples that split a frame (the next block starting on
    // the right channel), and every band count the chain takes.
    std::mt19937 gen(11);
    ForEachSimdLevel([&] {
        for (const int channels : {1, 2}) {
            for (std::size_t bands = 1; bands <= 10; ++bands) {
                auto s = RandomSettings(gen, channels, clsDSP::kPhaseShift | clsDSP::kEqualizer);
                s.bandGains.resize(bands, 9.0f);
                ReferenceChain ref(s);
                clsDSP dsp = Build(s);
                const auto signal = RandomSignal(gen, 4000);
                auto expected = signal;
                auto got = signal;
                const std::size_t pieces[] = {1, 2, 3, 1, 5, 7, 1, 9, 11, 13, 1, 64, 301, 1000};
                std::size_t pos = 0;
                for (std::size_t k = 0; pos < signal.size(); ++k) {
                    const std::size_t n = std::min(pieces[k % std::size(pieces)], signal.size() - pos);
                    ref.Process(std::span(expected).subspan(pos, n));
                    dsp.ProcessSamples(std::span(got).subspan(pos, n));
                    pos += n;
                }
                ASSERT_EQ(got, expected) << "channels " << channels << ", bands " << bands;
            }
        }
    });
}

TEST(FastPath, fusedPass_equalsPhaseShiftThenCascade_beyondTheChainsBandCount)
{
    // The kernels take up to 12 bands and hand more to the two-pass path; 11 to 16 bands
    // fused must equal the two passes of the SSE2 path (itself checked against the plain loop).
    std::mt19937 gen(5);
    for (const int channels : {1, 2}) {
        for (std::size_t nb = 11; nb <= 16; ++nb) {
            std::vector<IIRFilter> filters(nb);
            for (std::size_t b = 0; b < nb; ++b) {
                filters[b].Channels(static_cast<int16_t>(channels));
                filters[b].CreateBiquadIIR(IIRFilter::Peaking, (b % 2 == 0) ? 12.0f : -9.0f,
                                           static_cast<float>(60 + 700 * b), 44100.0f, 0.9f);
            }
            dsp::PhaseShifterState phase;
            phase.feedback = 0.7f;
            phase.wet = 0.9f;
            phase.dry = -0.4f;
            phase.sweepMin = 0.01f;
            phase.sweepMax = 0.16f;
            phase.sweepValue = 0.01f;
            phase.sweepStep = 1.001f;
            phase.sweepStepInverse = 1.0f / 1.001f;
            phase.sweepMultiplier = 1.001f;
            const auto signal = RandomSignal(gen, 6001);

            auto run = [&](bool fused, dsp::SimdLevel level) {
                dsp::UseSimdLevel(level);
                std::vector<dsp::BiquadSection> bands(nb);
                std::vector<dsp::BiquadSection*> sections;
                for (std::size_t b = 0; b < nb; ++b) {
                    bands[b].k = filters[b].Coefficients();
                    sections.push_back(&bands[b]);
                }
                auto st = phase;
                auto out = signal;
                int first = 0;
                for (std::size_t pos = 0; pos < out.size();) {
                    const std::size_t n = std::min<std::size_t>(pos % 3 == 0 ? 777 : 1, out.size() - pos);
                    const auto block = std::span(out).subspan(pos, n);
                    if (fused) {
                        dsp::PhaseShiftThenCascade16(block, st, sections, channels, first);
                    } else {
                        dsp::PhaseShift(block, st, channels, first);
                        dsp::BiquadCascade16(block, sections, channels, first);
                    }
                    first =
                        static_cast<int>((static_cast<std::size_t>(first) + n) % static_cast<std::size_t>(channels));
                    pos += n;
                }
                return out;
            };
            const auto expected = run(false, dsp::SimdLevel::Sse2);
            ForEachSimdLevel([&] {
                const dsp::SimdLevel level = dsp::ActiveSimdLevel();
                EXPECT_EQ(run(true, level), expected) << "channels " << channels << ", bands " << nb;
                EXPECT_EQ(run(false, level), expected) << "channels " << channels << ", bands " << nb;
            });
        }
    }
}

TEST(FastPath, everySampleValue_matchesThePlainLoop)
{
    // every 16-bit value, shuffled, through amplifier, phase shifter and a 10-band equalizer
    std::mt19937 gen(7);
    std::vector<int16_t> all(65536);
    std::iota(all.begin(), all.end(), int16_t{-32768});
    std::shuffle(all.begin(), all.end(), gen);
    ForEachSimdLevel([&] {
        for (const int channels : {1, 2}) {
            auto s = RandomSettings(gen, channels, 15);
            s.amplifyDB = 0;
            s.bandGains.assign(10, 0.0f);
            for (std::size_t i = 0; i < 10; ++i) {
                s.bandGains[i] = (i % 2 == 0) ? 12.0f : -12.0f;
            }
            ExpectSameAsReference(s, all, gen, "all values");
        }
    });
}

TEST(FastPath, defaultSettingsAt44100_matchThePlainLoop)
{
    std::mt19937 gen(3);
    ForEachSimdLevel([&] {
        for (const int channels : {1, 2}) {
            ReferenceChain::Settings s;
            s.channels = channels;
            s.bandGains = {12.0f, -3.0f, 0.0f, 12.0f, -12.0f, 6.0f, 1.5f};
            ExpectSameAsReference(s, RandomSignal(gen, 200000), gen, "defaults");
        }
    });
}

}  // namespace
}  // namespace quillon
