#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <random>
#include <span>
#include <tuple>
#include <vector>

#include "common/QuillonError.h"
#include "effects/IIRFilter.h"
#include "effects/clsDSP.h"

namespace quillon {
namespace {

template <typename F>
void ExpectOutOfBounds(F&& f)
{
    try {
        f();
        ADD_FAILURE() << "expected error 32000";
    } catch (const QuillonError& e) {
        EXPECT_EQ(e.number(), 32000);
        EXPECT_STREQ(e.what(), "Out Of Bounds!");
    }
}

// |H(e^jw)| of a normalised biquad, straight from its coefficients.
double MagnitudeAt(const dsp::BiquadCoefficients& k, double hz, double rate)
{
    const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * hz / rate);
    const std::complex<double> z2 = z1 * z1;
    const auto num = static_cast<double>(k.b0) + static_cast<double>(k.b1) * z1 + static_cast<double>(k.b2) * z2;
    const auto den = 1.0 + static_cast<double>(k.a1) * z1 + static_cast<double>(k.a2) * z2;
    return std::abs(num / den);
}

std::vector<int16_t> Tone(double hz, double rate, double amplitude, std::size_t frames, int channels)
{
    std::vector<int16_t> v(frames * static_cast<std::size_t>(channels));
    for (std::size_t f = 0; f < frames; ++f) {
        const auto s = static_cast<int16_t>(
            std::lround(amplitude * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(f) / rate)));
        for (int c = 0; c < channels; ++c) {
            v[f * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] = s;
        }
    }
    return v;
}

double Rms(const std::vector<int16_t>& v, std::size_t firstFrame, int channels, int channel)
{
    double sum = 0.0;
    std::size_t n = 0;
    for (std::size_t i = firstFrame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel);
         i < v.size(); i += static_cast<std::size_t>(channels)) {
        sum += static_cast<double>(v[i]) * v[i];
        ++n;
    }
    return std::sqrt(sum / static_cast<double>(n));
}

TEST(Equalizer, band3At12dB_hasTheCookbookCoefficients)
{
    clsDSP dsp;
    dsp.samplerate(44100);
    dsp.Channels(2);
    const IIRFilter& band3 = dsp.EqualizerFilter(3);
    EXPECT_NEAR(band3.Frequency(), 1084.435f, 1e-3);
    EXPECT_NEAR(band3.Bandwidth(), 1.30339f, 1e-5);

    // 0 dB: A = 1, so numerator and denominator are the same polynomial
    EXPECT_EQ(band3.Coefficients().b0, 1.0f);
    EXPECT_NEAR(band3.Coefficients().b1, -1.84308, 1e-5);
    EXPECT_EQ(band3.Coefficients().b1, band3.Coefficients().a1);
    EXPECT_NEAR(band3.Coefficients().b2, 0.86530, 1e-5);
    EXPECT_EQ(band3.Coefficients().b2, band3.Coefficients().a2);

    dsp.EqualizerBandGainDB(3, 12.0f);
    const auto& k = dsp.EqualizerFilter(3).Coefficients();
    EXPECT_NEAR(k.b0, 1.10412, 1e-5);
    EXPECT_NEAR(k.b1, -1.90715, 1e-5);
    EXPECT_EQ(k.b1, k.a1);
    EXPECT_NEAR(k.b2, 0.82603, 1e-5);
    EXPECT_NEAR(k.a2, 0.93015, 1e-5);
}

TEST(Equalizer, bandCentres_spreadFrom80HzToAThirdOfTheRate)
{
    const std::vector<std::tuple<int32_t, std::vector<int32_t>>> rows = {
        {44100, {80, 191, 455, 1084, 2586, 6165, 14700}},
        {22050, {80, 170, 361, 767, 1629, 3460, 7350}},
        {11025, {80, 151, 287, 542, 1026, 1942, 3675}},
        {8000, {80, 144, 257, 462, 829, 1487, 2667}},
    };
    for (const auto& [rate, centres] : rows) {
        clsDSP dsp;
        dsp.samplerate(rate);
        dsp.Channels(1);
        for (int32_t i = 0; i < 7; ++i) {
            EXPECT_EQ(dsp.EqualizerBandFrequency(i), centres[static_cast<std::size_t>(i)]) << rate << " Hz band " << i;
        }
    }
}

TEST(Equalizer, bandCount_isChecked_andResetsTheBands)
{
    clsDSP dsp;
    dsp.samplerate(44100);
    dsp.Channels(2);
    dsp.EqualizerBandGainDB(2, 5.0f);
    ExpectOutOfBounds([&] { dsp.EqualizerBands(0); });
    ExpectOutOfBounds([&] { dsp.EqualizerBands(11); });
    EXPECT_EQ(dsp.EqualizerBands(), 7);
    EXPECT_EQ(dsp.EqualizerBandGainDB(2), 5.0f) << "a rejected count keeps the gains";

    dsp.EqualizerBands(5);
    ASSERT_EQ(dsp.EqualizerBands(), 5);
    // (14700/80)^(i/4) * 80
    const int32_t centres[] = {80, 295, 1084, 3993, 14700};
    for (int32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(dsp.EqualizerBandGainDB(i), 0.0f);
        EXPECT_EQ(dsp.EqualizerBandFrequency(i), centres[i]);
    }
}

TEST(Equalizer, bandIndexOutsideTheBands_raisesOutOfBounds)
{
    clsDSP dsp;
    dsp.samplerate(44100);
    dsp.Channels(1);
    for (const int32_t bad : {-1, 7, 1000}) {
        ExpectOutOfBounds([&] { dsp.EqualizerBandGainDB(bad, 3.0f); });
        ExpectOutOfBounds([&] { (void)dsp.EqualizerBandGainDB(bad); });
        ExpectOutOfBounds([&] { (void)dsp.EqualizerBandFrequency(bad); });
    }
    for (int32_t i = 0; i < 7; ++i) {
        EXPECT_EQ(dsp.EqualizerBandGainDB(i), 0.0f);
    }
}

TEST(Equalizer, singleBand_sitsAtTheGeometricMiddle_andFilters)
{
    clsDSP dsp;
    dsp.samplerate(44100);
    dsp.Channels(1);
    dsp.EqualizerBands(1);
    EXPECT_EQ(dsp.EqualizerBandFrequency(0), 1084);  // sqrt(80 * 14700)
    dsp.EqualizerBandGainDB(0, 12.0f);
    dsp.EffectsUsed(clsDSP::kEqualizer);
    auto block = Tone(1084.0, 44100.0, 3000.0, 44100, 1);
    dsp.ProcessSamples(block);
    EXPECT_NEAR(20.0 * std::log10(Rms(block, 22050, 1, 0) / (3000.0 / std::sqrt(2.0))), 12.0, 0.3);
}

// The gain measured on a tone must match |H| computed from the coefficients (a different path
// from the sample loop), and be close to the band's nominal +12 dB.
TEST(Equalizer, plus12dBBand_raisesItsCentreToneBy12dB_monoAndStereo)
{
    for (const int16_t channels : {int16_t{1}, int16_t{2}}) {
        clsDSP dsp;
        dsp.samplerate(44100);
        dsp.Channels(channels);
        dsp.EffectsUsed(clsDSP::kEqualizer);
        dsp.EqualizerBandGainDB(3, 12.0f);
        const double hz = 1084.0;
        auto block = Tone(hz, 44100.0, 4000.0, 44100, channels);
        const auto input = block;
        for (std::size_t pos = 0; pos < block.size(); pos += 5120) {
            dsp.ProcessSamples(std::span(block).subspan(pos, std::min<std::size_t>(5120, block.size() - pos)));
        }
        double expected = 1.0;
        for (int32_t i = 0; i < 7; ++i) {
            expected *= MagnitudeAt(dsp.EqualizerFilter(i).Coefficients(), hz, 44100.0);
        }
        const double expectedDb = 20.0 * std::log10(expected);
        EXPECT_NEAR(expectedDb, 12.0, 0.3);
        for (int c = 0; c < channels; ++c) {
            const double measuredDb = 20.0 * std::log10(Rms(block, 4410, channels, c) / Rms(input, 4410, channels, c));
            EXPECT_NEAR(measuredDb, expectedDb, 0.05) << channels << " channels, channel " << c;
        }
    }
}

TEST(Equalizer, stereo_aToneOnOneChannelLeavesTheOtherSilent)
{
    clsDSP dsp;
    dsp.samplerate(44100);
    dsp.Channels(2);
    dsp.EffectsUsed(clsDSP::kEqualizer);
    for (int32_t i = 0; i < 7; ++i) {
        dsp.EqualizerBandGainDB(i, 12.0f);
    }
    auto block = Tone(455.0, 44100.0, 2000.0, 20000, 2);
    for (std::size_t f = 0; f < 20000; ++f) {
        block[2 * f + 1] = 0;
    }
    dsp.ProcessSamples(block);
    for (std::size_t f = 0; f < 20000; ++f) {
        ASSERT_EQ(block[2 * f + 1], 0) << "frame " << f;
    }
}

TEST(Equalizer, loudBoostedTone_saturatesAtTheSampleLimits)
{
    clsDSP dsp;
    dsp.samplerate(44100);
    dsp.Channels(1);
    dsp.EffectsUsed(clsDSP::kEqualizer);
    dsp.EqualizerBandGainDB(3, 12.0f);
    auto block = Tone(1084.0, 44100.0, 30000.0, 22050, 1);
    dsp.ProcessSamples(block);
    const auto [lo, hi] = std::minmax_element(block.begin() + 4410, block.end());
    EXPECT_EQ(*hi, 32767);
    EXPECT_EQ(*lo, -32768);
}

TEST(IIRFilter, newFilter_isEnabledLowPassWithZeroCoefficients)
{
    IIRFilter f;
    EXPECT_TRUE(f.Enabled());
    EXPECT_EQ(f.IIRType(), IIRFilter::LowPass);
    EXPECT_EQ(f.samplerate(), 0);
    EXPECT_EQ(f.Channels(), 1);
    std::vector<int16_t> block = {100, -200, 32767};
    f.ProcessSamples_16bit(block);
    EXPECT_EQ(block, (std::vector<int16_t>{0, 0, 0}));
    std::vector<uint8_t> bytes = {0, 200, 255};
    f.ProcessSamples_8bit(bytes);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{128, 128, 128}));
}

TEST(IIRFilter, disabled_leavesBlocksUnchanged)
{
    IIRFilter f;
    f.CreateBiquadIIR(IIRFilter::LowPass, 0.0f, 500.0f, 44100.0f, 1.0f);
    f.Enabled(false);
    std::vector<int16_t> block = {1000, -1000, 5, 32767};
    const auto input = block;
    f.ProcessSamples_16bit(block);
    EXPECT_EQ(block, input);
}

TEST(IIRFilter, withoutRate_settersOnlyStore_untilTheRateArrives)
{
    IIRFilter f;
    f.Frequency(1000.0f);
    f.GainDB(6.0f);
    f.Bandwidth(1.0f);
    EXPECT_EQ(f.Coefficients().b0, 0.0f);
    f.samplerate(48000);

    IIRFilter direct;
    direct.CreateBiquadIIR(IIRFilter::LowPass, 6.0f, 1000.0f, 48000.0f, 1.0f);
    EXPECT_EQ(f.Coefficients().b0, direct.Coefficients().b0);
    EXPECT_EQ(f.Coefficients().a2, direct.Coefficients().a2);
    EXPECT_GT(f.Coefficients().b0, 0.0f);
}

TEST(IIRFilter, eightBit_silencePassesA0dBPeakingFilterUnchanged)
{
    IIRFilter f;
    f.CreateBiquadIIR(IIRFilter::Peaking, 0.0f, 1000.0f, 8000.0f, 1.0f);
    std::vector<uint8_t> bytes(100, 128);
    f.ProcessSamples_8bit(bytes);
    EXPECT_EQ(bytes, std::vector<uint8_t>(100, 128));
}

// Each response type's gain on a tone against |H| from its own coefficients, and the shape:
// low-pass passes low and cuts high, and so on.
TEST(IIRFilter, responseTypes_matchTheirTransferFunction)
{
    struct Row {
        int32_t type;
        double hz;
        double minDb;
        double maxDb;
    };
    const Row rows[] = {
        {IIRFilter::LowPass, 100.0, -0.5, 0.5},     {IIRFilter::LowPass, 8000.0, -60.0, -20.0},
        {IIRFilter::HighPass, 100.0, -60.0, -20.0}, {IIRFilter::HighPass, 8000.0, -0.5, 0.5},
        {IIRFilter::BandPass, 1000.0, -0.5, 0.5},   {IIRFilter::BandPass, 8000.0, -60.0, -10.0},
        {IIRFilter::Peaking, 1000.0, -6.3, -5.7},
    };
    for (const Row& r : rows) {
        IIRFilter f;
        f.CreateBiquadIIR(r.type, -6.0f, 1000.0f, 44100.0f, 1.0f);
        auto block = Tone(r.hz, 44100.0, 8000.0, 44100, 1);
        const auto input = block;
        f.ProcessSamples_16bit(block);
        const double expectedDb = 20.0 * std::log10(MagnitudeAt(f.Coefficients(), r.hz, 44100.0));
        const double measuredDb = 20.0 * std::log10(Rms(block, 8820, 1, 0) / Rms(input, 8820, 1, 0));
        EXPECT_GE(expectedDb, r.minDb) << "type " << r.type << " at " << r.hz;
        EXPECT_LE(expectedDb, r.maxDb) << "type " << r.type << " at " << r.hz;
        // quantisation to 16 bits limits how well deep cuts can be measured
        EXPECT_NEAR(measuredDb, expectedDb, expectedDb < -30.0 ? 1.0 : 0.05) << "type " << r.type << " at " << r.hz;
    }
}

TEST(IIRFilter, undefinedCoefficients_passTheInputThrough)
{
    std::mt19937 gen(11);
    std::uniform_int_distribution<int> dist(-32768, 32767);
    std::vector<int16_t> input(4096);
    for (auto& s : input) {
        s = static_cast<int16_t>(dist(gen));
    }
    // 0 Hz divides 0 by 0; a negative frequency or bandwidth puts a pole outside the unit circle
    const std::tuple<float, float, float> cases[] = {{0.0f, 44100.0f, 1.0f},    {-100.0f, 44100.0f, 1.0f},
                                                     {1000.0f, 44100.0f, 0.0f}, {1000.0f, 44100.0f, -1.0f},
                                                     {1000.0f, 0.0f, 1.0f},     {std::nanf(""), 44100.0f, 1.0f}};
    for (const auto& [freq, rate, bw] : cases) {
        for (const int32_t type : {0, 1, 2, 3}) {
            IIRFilter f;
            f.CreateBiquadIIR(type, 12.0f, freq, rate, bw);
            auto block = input;
            f.ProcessSamples_16bit(block);
            EXPECT_EQ(block, input) << "type " << type << ", " << freq << " Hz, " << rate << ", " << bw << " oct";
        }
    }
    // the equalizer's own band filter, moved to 0 Hz
    clsDSP dsp;
    dsp.samplerate(44100);
    dsp.Channels(2);
    IIRFilter band = dsp.EqualizerFilter(0);
    band.Frequency(0.0f);
    auto block = input;
    band.ProcessSamples_16bit(block);
    EXPECT_EQ(block, input);
}

TEST(IIRFilter, typeOutside0To3_orBadChannels_raise32000_andChangeNothing)
{
    IIRFilter f;
    f.CreateBiquadIIR(IIRFilter::HighPass, 0.0f, 500.0f, 44100.0f, 1.0f);
    const auto before = f.Coefficients();
    ExpectOutOfBounds([&] { f.CreateBiquadIIR(4, 0.0f, 700.0f, 44100.0f, 1.0f); });
    ExpectOutOfBounds([&] { f.CreateBiquadIIR(-1, 0.0f, 700.0f, 44100.0f, 1.0f); });
    EXPECT_EQ(f.IIRType(), IIRFilter::HighPass);
    EXPECT_EQ(f.Frequency(), 500.0f);
    EXPECT_EQ(f.Coefficients().b0, before.b0);
    try {
        f.Channels(3);
        ADD_FAILURE() << "expected error 32000";
    } catch (const QuillonError& e) {
        EXPECT_EQ(e.number(), 32000);
        EXPECT_STREQ(e.what(), "invalid channels");
    }
    EXPECT_EQ(f.Channels(), 1);
}

TEST(IIRFilter, stereo_keepsOneHistoryPerChannel)
{
    // an interleaved block through a 2-channel filter equals each channel through its own
    // 1-channel filter
    IIRFilter stereo;
    stereo.Channels(2);
    stereo.CreateBiquadIIR(IIRFilter::Peaking, 9.0f, 2000.0f, 44100.0f, 1.2f);
    IIRFilter left = stereo;
    left.Channels(1);
    IIRFilter right = left;
    auto l = Tone(1500.0, 44100.0, 9000.0, 4000, 1);
    auto r = Tone(300.0, 44100.0, 20000.0, 4000, 1);
    std::vector<int16_t> both(8000);
    for (std::size_t i = 0; i < 4000; ++i) {
        both[2 * i] = l[i];
        both[2 * i + 1] = r[i];
    }
    stereo.ProcessSamples_16bit(std::span(both).first(3001));  // ends mid-frame
    stereo.ProcessSamples_16bit(std::span(both).subspan(3001));
    left.ProcessSamples_16bit(l);
    right.ProcessSamples_16bit(r);
    for (std::size_t i = 0; i < 4000; ++i) {
        ASSERT_EQ(both[2 * i], l[i]) << i;
        ASSERT_EQ(both[2 * i + 1], r[i]) << i;
    }
}

}  // namespace
}  // namespace quillon
