#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "common/QuillonError.h"
#include "effects/clsDSP.h"

namespace quillon {
namespace {

clsDSP Configured(int32_t rate, int16_t channels, int32_t effects)
{
    clsDSP dsp;
    dsp.samplerate(rate);
    dsp.Channels(channels);
    dsp.EffectsUsed(effects);
    return dsp;
}

std::vector<int16_t> Noise(std::size_t n, unsigned seed, int amplitude = 12000)
{
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> dist(-amplitude, amplitude);
    std::vector<int16_t> v(n);
    for (auto& s : v) {
        s = static_cast<int16_t>(dist(gen));
    }
    return v;
}

// Feeds `stream` through the chain in blocks of the given sizes (cycled) and returns the result.
std::vector<int16_t> ProcessInBlocks(clsDSP& dsp, std::vector<int16_t> stream, const std::vector<std::size_t>& sizes)
{
    std::size_t pos = 0;
    for (std::size_t k = 0; pos < stream.size(); ++k) {
        const std::size_t n = std::min(sizes[k % sizes.size()], stream.size() - pos);
        dsp.ProcessSamples(std::span(stream).subspan(pos, n));
        pos += n;
    }
    return stream;
}

template <typename F>
void ExpectQuillonError(F&& f, const char* text)
{
    try {
        f();
        ADD_FAILURE() << "expected error 32000 \"" << text << "\"";
    } catch (const QuillonError& e) {
        EXPECT_EQ(e.number(), 32000);
        EXPECT_STREQ(e.what(), text);
    }
}

TEST(EffectsChain, startsWithTheDocumentedDefaults)
{
    const clsDSP dsp;
    EXPECT_EQ(dsp.samplerate(), 0);
    EXPECT_EQ(dsp.Channels(), 0);
    EXPECT_EQ(dsp.EffectsUsed(), 0);
    EXPECT_EQ(dsp.AmplifyDB(), 3);
    EXPECT_EQ(dsp.EchoLength(), 100);
    EXPECT_EQ(dsp.EchoAmp(), 0.4f);
    EXPECT_EQ(dsp.PhaseShiftDry(), 1.0f);
    EXPECT_EQ(dsp.PhaseShiftWet(), 1.0f);
    EXPECT_EQ(dsp.PhaseShiftFeedback(), 0.5f);
    EXPECT_EQ(dsp.PhaseShiftSweepRate(), 1.0f);
    EXPECT_EQ(dsp.PhaseShiftSweepRange(), 4.0f);
    EXPECT_EQ(dsp.PhaseShiftFrequency(), 100.0f);
    ASSERT_EQ(dsp.EqualizerBands(), 7);
    for (int32_t i = 0; i < 7; ++i) {
        EXPECT_EQ(dsp.EqualizerBandGainDB(i), 0.0f);
    }
}

TEST(EffectsChain, processSamples_leavesBlockUnchanged_untilRateAndChannelsAreBothSet)
{
    clsDSP dsp;
    dsp.EffectsUsed(15);
    dsp.EqualizerBandGainDB(3, 12.0f);
    const auto input = Noise(2048, 1);

    auto block = input;
    dsp.ProcessSamples(block);
    EXPECT_EQ(block, input);

    dsp.samplerate(44100);
    dsp.ProcessSamples(block);
    EXPECT_EQ(block, input) << "channels still unset";

    dsp.Channels(2);
    dsp.ProcessSamples(block);
    EXPECT_NE(block, input) << "configured: the effects now run";
}

TEST(EffectsChain, processSamples_leavesBlockUnchanged_whenNoEffectOrANeutralSettingIsOn)
{
    const auto input = Noise(4096, 2, 32767);
    {
        auto dsp = Configured(44100, 2, 0);
        auto block = input;
        dsp.ProcessSamples(block);
        EXPECT_EQ(block, input) << "EffectsUsed = 0";
    }
    {
        auto dsp = Configured(44100, 2, clsDSP::kAmplify);
        dsp.AmplifyDB(0);
        auto block = input;
        dsp.ProcessSamples(block);
        EXPECT_EQ(block, input) << "amplifier at 0 dB";
    }
    {
        // peaking sections at 0 dB have b = a: the block comes back sample for sample
        auto dsp = Configured(44100, 2, clsDSP::kEqualizer);
        auto block = input;
        dsp.ProcessSamples(block);
        EXPECT_EQ(block, input) << "equalizer with every band at 0 dB";
    }
    {
        auto dsp = Configured(44100, 1, clsDSP::kPhaseShift);
        dsp.PhaseShiftWet(0.0f);
        dsp.PhaseShiftDry(1.0f);
        auto block = input;
        dsp.ProcessSamples(block);
        EXPECT_EQ(block, input) << "phase shifter, dry only";
    }
}

TEST(Amplifier, scalesByTheDecibelFactor_andSaturates)
{
    struct Row {
        int32_t db;
        int16_t in;
        int16_t out;
    };
    // 10^(6/20) = 1.99526: 1000 -> 1995.26; 10^(-6/20) = 0.501187: 10000 -> 5011.87
    const Row rows[] = {{6, 1000, 1995},   {6, 20000, 32767},   {6, -20000, -32768},
                        {-6, 10000, 5012}, {-6, -10000, -5012}, {0, -32768, -32768},
                        {3, 0, 0}};
    for (const Row& r : rows) {
        auto dsp = Configured(44100, 1, clsDSP::kAmplify);
        dsp.AmplifyDB(r.db);
        std::vector<int16_t> block(9, r.in);  // more than one vector's worth
        dsp.ProcessSamples(block);
        for (int16_t s : block) {
            EXPECT_EQ(s, r.out) << r.db << " dB, input " << r.in;
        }
    }
}

TEST(Amplifier, infiniteGain_saturatesAndKeepsSilenceSilent)
{
    // 10^(1000/20) is infinite as a float; 0 times it must not become NaN in a sample
    auto dsp = Configured(44100, 1, clsDSP::kAmplify);
    dsp.AmplifyDB(1000);
    std::vector<int16_t> block = {0, 1, -1, 0, 5, -5, 0, 0, 0, 1, 0};
    dsp.ProcessSamples(block);
    const std::vector<int16_t> expected = {0, 32767, -32768, 0, 32767, -32768, 0, 0, 0, 32767, 0};
    EXPECT_EQ(block, expected);
}

// 44100 Hz, 100 ms: L = 4410; each repeat is 0.4 times the one before (0.4f * 10000 = 4000.00006).
TEST(Echo, repeatsAnImpulseEveryDelay_whereverTheBlockBoundariesFall)
{
    const std::vector<std::vector<std::size_t>> splits = {{5120}, {4410}, {4409}, {1, 997, 4096}, {13230}, {64}};
    for (const auto& sizes : splits) {
        auto dsp = Configured(44100, 1, clsDSP::kEcho);
        std::vector<int16_t> stream(20000, 0);
        stream[0] = 10000;
        const auto out = ProcessInBlocks(dsp, stream, sizes);
        for (std::size_t i = 0; i < out.size(); ++i) {
            int16_t expected = 0;
            switch (i) {
                case 0:
                    expected = 10000;
                    break;
                case 4410:
                    expected = 4000;
                    break;
                case 8820:
                    expected = 1600;
                    break;
                case 13230:
                    expected = 640;
                    break;
                case 17640:
                    expected = 256;
                    break;
                default:
                    break;
            }
            ASSERT_EQ(out[i], expected) << "position " << i << ", first block " << sizes[0];
        }
    }
}

TEST(Echo, stereo_eachChannelEchoesOnItself_afterLFrames)
{
    // 11025 Hz, 1 ms: L = round(11.025) = 11 frames, an odd count, so a single line of samples
    // would have thrown the left impulse onto the right channel.
    for (const auto& [rate, ms, frames] : {std::tuple{11025, 1, 11}, std::tuple{44100, 100, 4410}}) {
        auto dsp = Configured(rate, 2, clsDSP::kEcho);
        dsp.EchoLength(ms);
        std::vector<int16_t> stream(static_cast<std::size_t>(frames) * 2 * 3 + 8, 0);
        stream[0] = 10000;   // left impulse
        stream[1] = -20000;  // right impulse
        const auto out = ProcessInBlocks(dsp, stream, {5120});
        for (std::size_t f = 0; f < out.size() / 2; ++f) {
            const auto n = static_cast<std::size_t>(frames);
            const int16_t left = f == 0 ? 10000 : f == n ? 4000 : f == 2 * n ? 1600 : f == 3 * n ? 640 : 0;
            const int16_t right = f == 0 ? -20000 : f == n ? -8000 : f == 2 * n ? -3200 : f == 3 * n ? -1280 : 0;
            ASSERT_EQ(out[2 * f], left) << rate << " Hz, frame " << f;
            ASSERT_EQ(out[2 * f + 1], right) << rate << " Hz, frame " << f;
        }
    }
}

TEST(Echo, echoAmpAbove09_isStoredAs09)
{
    clsDSP dsp;
    dsp.EchoAmp(1.5f);
    EXPECT_EQ(dsp.EchoAmp(), 0.9f);
    dsp.EchoAmp(0.25f);
    EXPECT_EQ(dsp.EchoAmp(), 0.25f);
}

TEST(Echo, settingTheLength_dropsTheSoundingTail)
{
    auto dsp = Configured(44100, 1, clsDSP::kEcho);
    std::vector<int16_t> first(1000, 0);
    first[0] = 10000;
    dsp.ProcessSamples(first);
    dsp.EchoLength(100);  // same value: still a fresh line
    std::vector<int16_t> rest(20000, 0);
    dsp.ProcessSamples(rest);
    EXPECT_TRUE(std::all_of(rest.begin(), rest.end(), [](int16_t s) { return s == 0; }));
}

TEST(Echo, lengthBelowOneFrame_passesBlocksThrough)
{
    for (const int32_t ms : {0, -5, -1000}) {
        auto dsp = Configured(44100, 2, clsDSP::kEcho);
        dsp.EchoLength(ms);
        const auto input = Noise(3000, 3);
        auto block = input;
        dsp.ProcessSamples(block);
        EXPECT_EQ(block, input) << ms << " ms";
    }
    // 8000 Hz and 0.06 ms would round to 0 frames too; the next valid length works again
    auto dsp = Configured(8000, 1, clsDSP::kEcho);
    dsp.EchoLength(0);
    dsp.EchoLength(1);  // 8 frames
    std::vector<int16_t> block(20, 0);
    block[0] = 1000;
    dsp.ProcessSamples(block);
    EXPECT_EQ(block[8], 400);
    EXPECT_EQ(block[16], 160);
}

TEST(Echo, gainBelowMinusOne_saturatesTheFedBackValue)
{
    auto dsp = Configured(8000, 1, clsDSP::kEcho);
    dsp.EchoLength(1);  // 8 frames
    dsp.EchoAmp(-3.0f);
    std::vector<int16_t> block(25, 0);
    block[0] = 20000;
    dsp.ProcessSamples(block);
    EXPECT_EQ(block[8], -32768);  // -60000 held at the 16-bit limit
    EXPECT_EQ(block[16], 32767);  // -32768 * -3
    EXPECT_EQ(block[24], -32768);
}

TEST(Echo, amplifierRunsFirst_soTheEchoRepeatsTheAmplifiedSignal)
{
    // +12 dB saturates 10000 to 32767 before the echo sees it: the repeat is 0.4 * 32767, where
    // the other order would give 4000 amplified to 15924.
    auto dsp = Configured(44100, 1, clsDSP::kAmplify | clsDSP::kEcho);
    dsp.AmplifyDB(12);
    std::vector<int16_t> block(4411, 0);
    block[0] = 10000;
    dsp.ProcessSamples(block);
    EXPECT_EQ(block[0], 32767);
    EXPECT_EQ(block[4410], 13107);  // 32767 * 0.4f = 13106.8
}

TEST(EffectsChain, invalidRateOrChannels_raise32000_andLeaveEverythingAsItWas)
{
    auto dsp = Configured(44100, 1, clsDSP::kEcho);
    std::vector<int16_t> block(1000, 0);
    block[0] = 10000;
    dsp.ProcessSamples(block);

    ExpectQuillonError([&] { dsp.samplerate(0); }, "invalid samplerate");
    ExpectQuillonError([&] { dsp.samplerate(96001); }, "invalid samplerate");
    ExpectQuillonError([&] { dsp.Channels(0); }, "invalid channels");
    ExpectQuillonError([&] { dsp.Channels(3); }, "invalid channels");
    EXPECT_EQ(dsp.samplerate(), 44100);
    EXPECT_EQ(dsp.Channels(), 1);

    // the echo tail survived the rejected sets
    std::vector<int16_t> rest(4000, 0);
    dsp.ProcessSamples(rest);
    EXPECT_EQ(rest[4410 - 1000], 4000);

    // a successful set, even of the same value, starts clean
    dsp.samplerate(44100);
    std::vector<int16_t> after(9000, 0);
    dsp.ProcessSamples(after);
    EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](int16_t s) { return s == 0; }));
}

TEST(PhaseShifter, dryMinusOneWithoutWet_negatesEverySample)
{
    auto dsp = Configured(44100, 2, clsDSP::kPhaseShift);
    dsp.PhaseShiftWet(0.0f);
    dsp.PhaseShiftDry(-1.0f);
    std::vector<int16_t> block = {-32768, 32767, 0, 1, -1, 12345, -12345, 100, 7};
    dsp.ProcessSamples(block);
    const std::vector<int16_t> expected = {32767, -32767, 0, -1, 1, -12345, 12345, -100, -7};
    EXPECT_EQ(block, expected);
}

// With one state per channel, a stereo block whose channels are equal must give, on each
// channel, exactly what the mono chain gives for that channel alone: same echo length in time,
// same sweep speed, same equalizer frequencies.
TEST(EffectsChain, stereoWithEqualChannels_givesTheMonoResultOnBothChannels)
{
    const auto mono = Noise(44100, 4, 20000);
    std::vector<int16_t> stereo(mono.size() * 2);
    for (std::size_t f = 0; f < mono.size(); ++f) {
        stereo[2 * f] = stereo[2 * f + 1] = mono[f];
    }
    auto setUp = [](clsDSP& d) {
        d.EchoLength(37);
        d.PhaseShiftSweepRate(1.5f);
        d.EqualizerBandGainDB(1, 9.0f);
        d.EqualizerBandGainDB(5, -12.0f);
    };
    auto m = Configured(22050, 1, 15);
    auto s = Configured(22050, 2, 15);
    setUp(m);
    setUp(s);
    const auto outMono = ProcessInBlocks(m, mono, {2560});
    const auto outStereo = ProcessInBlocks(s, stereo, {5120});
    for (std::size_t f = 0; f < mono.size(); ++f) {
        ASSERT_EQ(outStereo[2 * f], outMono[f]) << "frame " << f;
        ASSERT_EQ(outStereo[2 * f + 1], outMono[f]) << "frame " << f;
    }
}

TEST(EffectsChain, stereo_leftOutputDependsOnTheLeftInputOnly)
{
    const auto left = Noise(30000, 5);
    const auto rightA = Noise(30000, 6);
    std::vector<int16_t> a(60000), b(60000, 0);
    for (std::size_t f = 0; f < left.size(); ++f) {
        a[2 * f] = b[2 * f] = left[f];
        a[2 * f + 1] = rightA[f];  // b keeps a silent right channel
    }
    auto da = Configured(44100, 2, 15);
    auto db = Configured(44100, 2, 15);
    da.EqualizerBandGainDB(2, 12.0f);
    db.EqualizerBandGainDB(2, 12.0f);
    const auto outA = ProcessInBlocks(da, a, {5120});
    const auto outB = ProcessInBlocks(db, b, {5120});
    for (std::size_t f = 0; f < left.size(); ++f) {
        ASSERT_EQ(outA[2 * f], outB[2 * f]) << "frame " << f;
    }
}

TEST(EffectsChain, splittingFramesAcrossBlocks_changesNothing)
{
    // the capture hands whole frames, but a caller may not: odd-length stereo blocks
    const auto input = Noise(40000, 7, 30000);
    auto whole = Configured(44100, 2, 15);
    auto split = Configured(44100, 2, 15);
    whole.EqualizerBandGainDB(4, 6.0f);
    split.EqualizerBandGainDB(4, 6.0f);
    const auto expected = ProcessInBlocks(whole, input, {5120});
    const auto got = ProcessInBlocks(split, input, {1, 2, 3, 999, 4097, 7});
    EXPECT_EQ(got, expected);
}

TEST(EffectsChain, switchingAnEffectOffMidFrame_keepsChannelsApart)
{
    // the echo sleeps through a block that ends mid-frame; when it wakes up, the left impulse
    // must still come back on the left
    auto dsp = Configured(8000, 2, clsDSP::kEcho);
    dsp.EchoLength(1);  // 8 frames
    std::vector<int16_t> first(4, 0);
    first[0] = 10000;
    dsp.ProcessSamples(first);
    dsp.EffectsUsed(0);
    std::vector<int16_t> odd(3, 0);
    dsp.ProcessSamples(odd);
    dsp.EffectsUsed(clsDSP::kEcho);
    std::vector<int16_t> rest(41, 0);  // stream position 7 on: right, left, right...
    dsp.ProcessSamples(rest);
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const std::size_t streamPos = i + 7;
        if (rest[i] != 0) {
            EXPECT_EQ(streamPos % 2, 0u) << "echo on the right channel at stream position " << streamPos;
        }
    }
    EXPECT_NE(std::count(rest.begin(), rest.end(), int16_t{4000}), 0);
}

TEST(PhaseShifter, settingAnyOfItsProperties_restartsTheSweep)
{
    // Silence leaves the all-pass stages at exactly 0 while the sweep moves on; after a set,
    // the chain must then behave like a fresh one.
    auto moved = Configured(44100, 2, clsDSP::kPhaseShift);
    std::vector<int16_t> silence(30001, 0);  // odd: also ends mid-frame
    moved.ProcessSamples(silence);
    std::vector<int16_t> completeFrame(1, 0);
    moved.ProcessSamples(completeFrame);
    auto fresh = Configured(44100, 2, clsDSP::kPhaseShift);
    const auto input = Noise(20000, 9, 30000);

    auto withoutRestart = input;
    auto copy = moved;
    copy.ProcessSamples(withoutRestart);
    auto expected = input;
    fresh.ProcessSamples(expected);
    ASSERT_NE(withoutRestart, expected) << "the sweep position must matter for this test";

    moved.PhaseShiftFeedback(moved.PhaseShiftFeedback());
    auto restarted = input;
    moved.ProcessSamples(restarted);
    EXPECT_EQ(restarted, expected);
}

TEST(PhaseShifter, frequencyZeroOrBelow_sweepsFromOneHertz_withoutNaN)
{
    const auto input = Noise(30000, 8, 32767);
    auto run = [&](float frequency) {
        auto dsp = Configured(44100, 2, clsDSP::kPhaseShift);
        dsp.PhaseShiftFrequency(frequency);
        return ProcessInBlocks(dsp, input, {5120});
    };
    const auto at1 = run(1.0f);
    // a NaN sample would come out as 0 everywhere once the state is lost
    EXPECT_GT(std::count_if(at1.begin(), at1.end(), [](int16_t s) { return s != 0; }), 29000);
    EXPECT_EQ(run(0.0f), at1);
    EXPECT_EQ(run(-10.0f), at1);
    clsDSP dsp;
    dsp.PhaseShiftFrequency(-10.0f);
    EXPECT_EQ(dsp.PhaseShiftFrequency(), -10.0f) << "the value itself is kept";
}

}  // namespace
}  // namespace quillon
