#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "common/WaveFormat.h"

namespace quillon {
namespace {

TEST(WaveFormatEx, bytesAreTheLittleEndianRecordAndParseReadsThemBack)
{
    WaveFormatEx f;
    f.wFormatTag = 0x0011;
    f.nChannels = 2;
    f.nSamplesPerSec = 0x0001F400;  // 128000
    f.nAvgBytesPerSec = 0x12345678;
    f.nBlockAlign = 0x0800;
    f.wBitsPerSample = 4;
    f.cbSize = 0xBEEF;
    const std::vector<std::uint8_t> expected{0x11, 0x00, 0x02, 0x00, 0x00, 0xF4, 0x01, 0x00, 0x78,
                                             0x56, 0x34, 0x12, 0x00, 0x08, 0x04, 0x00, 0xEF, 0xBE};
    EXPECT_EQ(f.bytes(), expected);

    auto longer = expected;
    longer.push_back(0x99);  // extra bytes after the record are not its business
    EXPECT_EQ(WaveFormatEx::parse(longer), f);
    EXPECT_FALSE(WaveFormatEx::parse(std::vector<std::uint8_t>(expected.begin(), expected.end() - 1)).has_value());
}

TEST(WaveFormatEx, MakePCMFormat_derivesAlignAndRate)
{
    const WaveFormatEx expected{WAVE_FORMAT_PCM, 1, 22050, 22050, 1, 8, 0};
    EXPECT_EQ(MakePCMFormat(22050, 1, 8), expected);

    // Fractional bytes per frame round half to even: 1.5 -> 2, 0.5 -> 0, 2.5 -> 2.
    EXPECT_EQ(MakePCMFormat(8000, 1, 12).nBlockAlign, 2);
    EXPECT_EQ(MakePCMFormat(8000, 1, 4).nBlockAlign, 0);
    EXPECT_EQ(MakePCMFormat(8000, 5, 4).nBlockAlign, 2);
    EXPECT_EQ(MakePCMFormat(8000, 5, 4).nAvgBytesPerSec, 16000U);

    // The 32-bit byte rate wraps rather than saturating.
    EXPECT_EQ(MakePCMFormat(0x7FFFFFFF, 2, 16).nAvgBytesPerSec, 0xFFFFFFFCU);
}

}  // namespace
}  // namespace quillon
