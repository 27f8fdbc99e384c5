#include <gtest/gtest.h>

#include "capture/VolumeMapping.h"

namespace quillon {
namespace {

// 65535 on the mixer is exactly 100 % (0x10000) on the server, 0 is 0, and the
// scale is linear in between.
TEST(VolumeMapping, EndPointsAndMiddle)
{
    EXPECT_EQ(mixerToServerVolume(0), 0U);
    EXPECT_EQ(mixerToServerVolume(65535), 0x10000U);
    EXPECT_EQ(serverToMixerVolume(0x10000), 65535U);
    EXPECT_EQ(serverToMixerVolume(0x8000), 32768U);  // 32767.5 rounds up
    EXPECT_EQ(mixerToServerVolume(32768), 32769U);   // 32768.5 rounds up
    // Raw values beyond the slider (the mixer's values are not clamped) stay within the server's range.
    EXPECT_EQ(mixerToServerVolume(0xFFFFFFFF), 0x7FFFFFFFU);
}

TEST(VolumeMapping, EveryMixerValueSurvivesTheRoundTrip)
{
    for (std::uint32_t v = 0; v <= 65535; ++v) {
        ASSERT_EQ(serverToMixerVolume(mixerToServerVolume(v)), v) << v;
    }
}

}  // namespace
}  // namespace quillon
