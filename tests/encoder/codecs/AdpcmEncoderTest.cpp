#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <utility>
#include <vector>

#include "ReferenceDecoders.h"
#include "encoder/codecs/FormatRecord.h"
#include "encoder/codecs/ImaAdpcmEncoder.h"
#include "encoder/codecs/MsAdpcmEncoder.h"

namespace quillon {
namespace {

int le16(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::int16_t>(b[at] | (b[at + 1] << 8));
}
unsigned le32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<unsigned>(b[at]) | (static_cast<unsigned>(b[at + 1]) << 8) |
           (static_cast<unsigned>(b[at + 2]) << 16) | (static_cast<unsigned>(b[at + 3]) << 24);
}

std::vector<std::uint8_t> encodeAll(BlockEncoder& encoder, const std::vector<std::int16_t>& pcm)
{
    std::vector<std::uint8_t> out(pcm.size() / encoder.samplesPerBlock() * encoder.bytesPerBlock());
    EXPECT_EQ(encoder.encode(pcm, out), out.size());
    return out;
}

struct RateRow {
    std::uint32_t rate;
    int channels;
    std::uint16_t blockAlign;
    std::size_t imaFrames;
    std::size_t msFrames;
};

// Block sizes of the usual convention and the frames they hold (IMA: 1 + 2 per data byte of a
// channel, Microsoft: 2 + 2 per data byte of a channel).
constexpr RateRow kRates[] = {
    {8000, 1, 256, 505, 500},     {11025, 2, 512, 505, 500},    {22050, 1, 512, 1017, 1012},
    {22050, 2, 1024, 1017, 1012}, {44100, 1, 1024, 2041, 2036}, {44100, 2, 2048, 2041, 2036},
};

TEST(AdpcmFormat, BlockSizesFollowTheRateAndRecordsCarryThem)
{
    for (const auto& row : kRates) {
        SCOPED_TRACE(testing::Message() << row.rate << " Hz, " << row.channels << " ch");
        const auto ima = MakeImaAdpcmFormat(row.rate, row.channels);
        ASSERT_EQ(ima.size(), 20u);
        EXPECT_EQ(le16(ima, 0), WAVE_FORMAT_IMA_ADPCM);
        EXPECT_EQ(le16(ima, 2), row.channels);
        EXPECT_EQ(le32(ima, 4), row.rate);
        EXPECT_EQ(le32(ima, 8), row.rate * row.blockAlign / row.imaFrames);
        EXPECT_EQ(static_cast<std::uint16_t>(le16(ima, 12)), row.blockAlign);
        EXPECT_EQ(le16(ima, 14), 4);
        EXPECT_EQ(le16(ima, 16), 2);
        EXPECT_EQ(static_cast<std::size_t>(le16(ima, 18)), row.imaFrames);
        EXPECT_EQ(ImaAdpcmEncoder(row.rate, row.channels).framesPerBlock(), row.imaFrames);

        const auto ms = MakeMsAdpcmFormat(row.rate, row.channels);
        ASSERT_EQ(ms.size(), 50u);  // 18 + 32 extra bytes
        EXPECT_EQ(le16(ms, 0), WAVE_FORMAT_ADPCM);
        EXPECT_EQ(le16(ms, 2), row.channels);
        EXPECT_EQ(le32(ms, 4), row.rate);
        EXPECT_EQ(le32(ms, 8), row.rate * row.blockAlign / row.msFrames);
        EXPECT_EQ(static_cast<std::uint16_t>(le16(ms, 12)), row.blockAlign);
        EXPECT_EQ(le16(ms, 14), 4);
        EXPECT_EQ(le16(ms, 16), 32);
        EXPECT_EQ(static_cast<std::size_t>(le16(ms, 18)), row.msFrames);
        EXPECT_EQ(le16(ms, 20), 7);
        EXPECT_EQ(MsAdpcmEncoder(row.rate, row.channels).framesPerBlock(), row.msFrames);
    }
    // The seven predictor pairs every Microsoft ADPCM decoder knows, in order.
    const auto ms = MakeMsAdpcmFormat(8000, 1);
    const int pairs[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(le16(ms, 22 + 4 * i), pairs[i][0]) << i;
        EXPECT_EQ(le16(ms, 24 + 4 * i), pairs[i][1]) << i;
    }
}

TEST(AdpcmEncoders, RefuseShapesTheyCannotWriteAndOutputTooSmall)
{
    // Checked before any block size is derived from the channel count (0 would divide by zero).
    for (const auto& [rate, channels] : {std::pair{8000u, 0}, std::pair{8000u, 3}, std::pair{0u, 1}}) {
        EXPECT_THROW(ImaAdpcmEncoder(rate, channels), std::invalid_argument) << rate << "/" << channels;
        EXPECT_THROW(MsAdpcmEncoder(rate, channels), std::invalid_argument) << rate << "/" << channels;
    }
    ImaAdpcmEncoder encoder(8000, 1);
    const std::vector<std::int16_t> twoBlocks(2 * 505);
    std::vector<std::uint8_t> oneBlock(256);
    EXPECT_THROW(encoder.encode(twoBlocks, oneBlock), std::length_error);
}

TEST(ImaAdpcmEncoder, BlockHeadersHoldTheFirstSampleAndTheRunningStepIndex)
{
    ImaAdpcmEncoder encoder(8000, 2);
    const auto tone = test::Tone(300.0, 700.0, 8000, 2, encoder.framesPerBlock() * 3, 0.6);
    const auto out = encodeAll(encoder, tone);
    ASSERT_EQ(out.size(), 3u * 512);
    const std::size_t frames = encoder.framesPerBlock();
    for (std::size_t b = 0; b < 3; ++b) {
        const std::size_t at = b * 512;
        EXPECT_EQ(le16(out, at), tone[b * frames * 2]);
        EXPECT_EQ(le16(out, at + 4), tone[b * frames * 2 + 1]);
        EXPECT_LE(out[at + 2], 88);
        EXPECT_EQ(out[at + 3], 0);
        EXPECT_EQ(out[at + 7], 0);
    }
    // The first block starts from the smallest step; later ones carry on from where the last ended,
    // so a loud tone's later headers are well above zero.
    EXPECT_EQ(out[2], 0);
    EXPECT_GT(out[512 + 2], 20);
}

TEST(ImaAdpcmEncoder, DecodesBackWithinTheCodecsErrorInMonoAndStereo)
{
    for (const auto& row : kRates) {
        SCOPED_TRACE(testing::Message() << row.rate << " Hz, " << row.channels << " ch");
        ImaAdpcmEncoder encoder(row.rate, row.channels);
        // Different tones per channel: swapped or mixed channels would fail the comparison.
        const auto tone = test::Tone(440.0, 1250.0, row.rate, row.channels, encoder.framesPerBlock() * 8, 0.5);
        const auto decoded = test::DecodeImaAdpcm(encodeAll(encoder, tone), row.channels, encoder.bytesPerBlock());
        ASSERT_EQ(decoded.size(), tone.size());
        // IMA ADPCM keeps well over 20 dB on a tone once the step size has adapted (first block skipped).
        EXPECT_GE(test::SnrDb(tone, decoded, encoder.samplesPerBlock()), 20.0);
    }
}

TEST(MsAdpcmEncoder, DecodesBackWithinTheCodecsErrorInMonoAndStereo)
{
    for (const auto& row : kRates) {
        SCOPED_TRACE(testing::Message() << row.rate << " Hz, " << row.channels << " ch");
        MsAdpcmEncoder encoder(row.rate, row.channels);
        const auto tone = test::Tone(440.0, 1250.0, row.rate, row.channels, encoder.framesPerBlock() * 8, 0.5);
        const auto out = encodeAll(encoder, tone);
        const auto decoded = test::DecodeMsAdpcm(out, row.channels, encoder.bytesPerBlock());
        ASSERT_EQ(decoded.size(), tone.size());
        // Each block restarts from exact samples, so even the first block counts.
        EXPECT_GE(test::SnrDb(tone, decoded), 20.0);
        // The header's two samples are the block's first two, the older one last.
        EXPECT_EQ(le16(out, 5 * static_cast<std::size_t>(row.channels)), tone[0]);
        EXPECT_EQ(le16(out, 3 * static_cast<std::size_t>(row.channels)), tone[static_cast<std::size_t>(row.channels)]);
    }
}

TEST(AdpcmEncoders, SurviveFullScaleNoiseAndSilence)
{
    // Worst cases for the step adaptation: jumps from rail to rail, then digital silence.
    std::mt19937 random(7);
    std::uniform_int_distribution<int> any(-32768, 32767);
    std::vector<std::int16_t> pcm(2041 * 2 * 4);
    for (std::size_t i = 0; i < pcm.size() / 2; ++i) {
        pcm[i] = static_cast<std::int16_t>(any(random));
    }
    ImaAdpcmEncoder ima(44100, 2);
    MsAdpcmEncoder ms(44100, 2);
    const auto imaDecoded = test::DecodeImaAdpcm(encodeAll(ima, pcm), 2, ima.bytesPerBlock());
    const auto msDecoded =
        test::DecodeMsAdpcm(encodeAll(ms, {pcm.begin(), pcm.begin() + 2036 * 2 * 4}), 2, ms.bytesPerBlock());
    // Silence after the noise: both decoders must settle back to (near) zero within the last block.
    for (std::size_t i = imaDecoded.size() - 200; i < imaDecoded.size(); ++i) {
        ASSERT_LE(std::abs(imaDecoded[i]), 16) << i;
    }
    for (std::size_t i = msDecoded.size() - 200; i < msDecoded.size(); ++i) {
        ASSERT_LE(std::abs(msDecoded[i]), 16) << i;
    }
}

}  // namespace
}  // namespace quillon
