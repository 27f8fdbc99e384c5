#include <gtest/gtest.h>

#include <QLocale>

#include <array>
#include <cstdint>
#include <vector>

#include "recording/DisplayFormat.h"

namespace quillon {
namespace {

class DisplayFormatTest : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale::c()); }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

TEST_F(DisplayFormatTest, FormatSizePicksUnitAndRoundsAtTheRangeEdges)
{
    struct Row {
        double size;
        const char* text;
    };
    const Row rows[] = {
        {0, "0 bytes"},         {1023, "1023 bytes"},         {1024, "1 KB"},
        {1536, "2 KB"},                                     // 1.5 rounds to the nearest value "###0" can show
        {1048575, "1024 KB"},                               // 1023.999 rounds up
        {1048576, "1.0 MB"},    {1073741823, "1024.0 MB"},  // the megabyte range ends at 2^30 - 1
        {1073741824, "1.0 GB"}, {5.5 * 1073741824, "5.5 GB"}, {-1, ""},
        {1023.5, ""},  // between the byte and kilobyte ranges
        {1048575.5, ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FormatSize(row.size).toStdString(), row.text) << "size " << row.size;
    }
}

TEST_F(DisplayFormatTest, FormatSizeUsesAGivenPatternForEveryScaledRange)
{
    EXPECT_EQ(FormatSize(1536, QStringLiteral("0.00")).toStdString(), "1.50 KB");
    EXPECT_EQ(FormatSize(3 * 1048576.0, QStringLiteral("###0")).toStdString(), "3 MB");
    EXPECT_EQ(FormatSize(100, QStringLiteral("0.00")).toStdString(), "100 bytes");
}

TEST_F(DisplayFormatTest, FormatSizeUsesTheUsersDecimalSeparator)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(FormatSize(1048576 * 2.5).toStdString(), "2,5 MB");
    EXPECT_EQ(FormatSize(1048576.0 * 5000).toStdString(), "4,9 GB");  // no thousands separator either
}

TEST(DisplayFormat, FormatTimeRoundsSecondsHalfToEvenWithoutHours)
{
    struct Row {
        std::int32_t ms;
        const char* text;
    };
    const Row rows[] = {
        {0, "0:00"},     {500, "0:00"},   {1500, "0:02"},     {2500, "0:02"},     {59499, "0:59"},
        {59500, "1:00"}, {61000, "1:01"}, {3600000, "60:00"}, {3599499, "59:59"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FormatTime(row.ms).toStdString(), row.text) << row.ms << " ms";
    }
    // The window redraws the time only when these seconds change: they must move exactly
    // where the text does.
    for (std::int32_t ms = 0; ms < 4000; ++ms) {
        ASSERT_EQ(ShownSeconds(ms) != ShownSeconds(ms + 1), FormatTime(ms) != FormatTime(ms + 1)) << ms << " ms";
    }
}

TEST(DisplayFormat, PeakLevelReadsOneChannelWithAStride)
{
    const std::vector<std::int16_t> samples = {100, -200, -300, 50, 7, -32768};
    EXPECT_EQ(PeakLevel(samples, 0, 2), 300);
    EXPECT_EQ(PeakLevel(samples, 1, 2), 32768);  // -32768 is taken in 32 bits
    EXPECT_EQ(PeakLevel(samples, 0, 1), 32768);
    EXPECT_EQ(PeakLevel(samples, 6, 2), 0);  // first beyond the last index
    const std::array<std::int16_t, 4> silence{};
    EXPECT_EQ(PeakLevel(silence, 0, 1), 0);
}

}  // namespace
}  // namespace quillon
