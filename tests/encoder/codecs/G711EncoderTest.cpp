#include <gtest/gtest.h>

#include <vector>

#include "ReferenceDecoders.h"
#include "encoder/codecs/FormatRecord.h"
#include "encoder/codecs/G711Encoder.h"

namespace quillon {
namespace {

// One row of the G.711 encoding tables: a segment, its first decision value and its interval width,
// both in the table's normalised units (A-law: 4096 = full scale, mu-law: 8159).
struct SegmentRow {
    int segment;
    int start;
    int width;
};

// A-law, Table 1: 16 equal intervals per segment; segments 0 and 1 share the finest step.
constexpr SegmentRow kALawRows[] = {{0, 0, 2},    {1, 32, 2},   {2, 64, 4},    {3, 128, 8},
                                    {4, 256, 16}, {5, 512, 32}, {6, 1024, 64}, {7, 2048, 128}};

TEST(G711ALaw, EveryIntervalEdgeOfTheTableGivesItsCharacterSignal)
{
    // A 16-bit sample is the 13-bit A-law value shifted left by 3, i.e. 8 per unit of the table.
    // Character signal: sign (1 = positive), segment, interval, then every even bit inverted (0x55).
    int checked = 0;
    for (const auto& row : kALawRows) {
        for (int i = 0; i < 16; ++i) {
            const int low = (row.start + i * row.width) * 8;
            const int high = low + row.width * 8 - 1;
            const auto positive = static_cast<std::uint8_t>((0x80 | (row.segment << 4) | i) ^ 0x55);
            const auto negative = static_cast<std::uint8_t>(((row.segment << 4) | i) ^ 0x55);
            ASSERT_EQ(LinearToALaw(static_cast<std::int16_t>(low)), positive) << "sample " << low;
            ASSERT_EQ(LinearToALaw(static_cast<std::int16_t>(high)), positive) << "sample " << high;
            // Negative samples: magnitude is the one's complement (-1 stands for -0).
            ASSERT_EQ(LinearToALaw(static_cast<std::int16_t>(-low - 1)), negative) << "sample " << -low - 1;
            ASSERT_EQ(LinearToALaw(static_cast<std::int16_t>(-high - 1)), negative) << "sample " << -high - 1;
            checked += 4;
        }
    }
    EXPECT_EQ(checked, 8 * 16 * 4);
    // Fixed points quoted by the table: +0 is 1101 0101, -0 is 0101 0101, the extremes 1010 1010 / 0010 1010.
    EXPECT_EQ(LinearToALaw(0), 0xD5);
    EXPECT_EQ(LinearToALaw(-1), 0x55);
    EXPECT_EQ(LinearToALaw(32767), 0xAA);
    EXPECT_EQ(LinearToALaw(-32768), 0x2A);
}

TEST(G711MuLaw, EveryIntervalEdgeOfTheTableGivesItsCharacterSignal)
{
    // Table 2: segment 0 has a first interval of width 1 then widths of 2; segment k >= 1 starts at
    // 2^(k+5) - 33 with width 2^(k+1). One table unit is 4 in 16-bit (14-bit values shifted by 2).
    // Character signal: sign (1 = positive) and every magnitude bit inverted.
    int checked = 0;
    for (int segment = 0; segment < 8; ++segment) {
        for (int i = 0; i < 16; ++i) {
            int lowUnits = 0;
            int width = 0;
            if (segment == 0) {
                lowUnits = i == 0 ? 0 : 1 + (i - 1) * 2;
                width = i == 0 ? 1 : 2;
            } else {
                lowUnits = (1 << (segment + 5)) - 33 + i * (2 << segment);
                width = 2 << segment;
            }
            const int low = lowUnits * 4;
            const int high = (lowUnits + width) * 4 - 1;
            const auto magnitudeBits = static_cast<std::uint8_t>(((7 - segment) << 4) | (15 - i));
            const auto positive = static_cast<std::uint8_t>(0x80 | magnitudeBits);
            ASSERT_EQ(LinearToMuLaw(static_cast<std::int16_t>(low)), positive) << "sample " << low;
            ASSERT_EQ(LinearToMuLaw(static_cast<std::int16_t>(high)), positive) << "sample " << high;
            ASSERT_EQ(LinearToMuLaw(static_cast<std::int16_t>(-low - 1)), magnitudeBits) << "sample " << -low - 1;
            ASSERT_EQ(LinearToMuLaw(static_cast<std::int16_t>(-high - 1)), magnitudeBits) << "sample " << -high - 1;
            checked += 4;
        }
    }
    EXPECT_EQ(checked, 8 * 16 * 4);
    // Beyond the last decision value (8159 units) the code stays at the end of the scale.
    EXPECT_EQ(LinearToMuLaw(32767), 0x80);
    EXPECT_EQ(LinearToMuLaw(-32768), 0x00);
    EXPECT_EQ(LinearToMuLaw(0), 0xFF);
    EXPECT_EQ(LinearToMuLaw(-1), 0x7F);
}

TEST(G711Encoder, BlockEncodingMatchesTheSampleFunctionsAndTheTone)
{
    const auto tone = test::Tone(997.0, 443.0, 8000, 2, 8000, 0.5);
    for (const auto law : {G711Encoder::Law::ALaw, G711Encoder::Law::MuLaw}) {
        G711Encoder encoder(law, 8000, 2);
        EXPECT_EQ(encoder.bytesPerBlock(), 2u);
        std::vector<std::uint8_t> out(tone.size());
        ASSERT_EQ(encoder.encode(tone, out), tone.size());
        std::vector<std::int16_t> decoded;
        for (std::size_t i = 0; i < tone.size(); ++i) {
            const auto expected = law == G711Encoder::Law::ALaw ? LinearToALaw(tone[i]) : LinearToMuLaw(tone[i]);
            ASSERT_EQ(out[i], expected) << i;
            decoded.push_back(law == G711Encoder::Law::ALaw ? test::ALawToLinear(out[i]) : test::MuLawToLinear(out[i]));
        }
        // G.711 keeps about 37 to 39 dB on a tone over most of its range (a frequency off the rate's
        // divisors, so the error is averaged over many phases); 35 dB holds for both laws.
        EXPECT_GE(test::SnrDb(tone, decoded), 35.0);
    }
}

TEST(G711Format, RecordsCarryTagRateAndOneBytePerSample)
{
    const auto alaw = MakeG711Format(G711Encoder::Law::ALaw, 22050, 2);
    const std::vector<std::uint8_t> expected = {0x06, 0x00,              // A-law
                                                0x02, 0x00,              // 2 channels
                                                0x22, 0x56, 0x00, 0x00,  // 22050 Hz
                                                0x44, 0xAC, 0x00, 0x00,  // 44100 bytes per second
                                                0x02, 0x00,              // block align 2
                                                0x08, 0x00,              // 8 bits
                                                0x00, 0x00};             // no extra bytes
    EXPECT_EQ(alaw, expected);
    const auto ulaw = MakeG711Format(G711Encoder::Law::MuLaw, 8000, 1);
    ASSERT_EQ(ulaw.size(), 18u);
    EXPECT_EQ(ulaw[0], WAVE_FORMAT_MULAW);
    EXPECT_EQ(ulaw[8] | (ulaw[9] << 8), 8000);
    EXPECT_EQ(ulaw[12], 1);
    EXPECT_THROW(G711Encoder(G711Encoder::Law::ALaw, 8000, 3), std::invalid_argument);
}

}  // namespace
}  // namespace quillon
