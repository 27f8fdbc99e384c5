#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "capture/WaveInRecorder.h"
#include "capture/fake/FakeMixer.h"
#include "capture/fake/FakeWaveIn.h"

namespace quillon {
namespace {

using Items = std::vector<std::uint32_t>;

class MixerFakeTest : public ::testing::Test {
protected:
    MixerFakeTest()
    {
        FakeMixer::Device card = FakeMixer::recordingDevice({"Microphone", "Line In", "CD Audio"});
        auto& lines = card.destinations[0].sources;
        lines[0].componentType = MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
        lines[1].componentType = MIXERLINE_COMPONENTTYPE_SRC_LINE;
        lines[2].componentType = 0x1005;  // compact disc
        mixer->devices = {card};
    }

    std::shared_ptr<FakeWaveIn> waveIn = std::make_shared<FakeWaveIn>();
    std::shared_ptr<FakeMixer> mixer = std::make_shared<FakeMixer>();
    WaveInRecorder recorder{CaptureBackend{waveIn, mixer}};
};

TEST_F(MixerFakeTest, SelectMixerLine_setsTheSelectorItemInReverseOrder_andReadsItBack)
{
    ASSERT_TRUE(recorder.SelectDevice(0));
    EXPECT_EQ(recorder.MixerLineCount(), 3);
    EXPECT_EQ(recorder.MixerLineName(1), "Line In");

    EXPECT_TRUE(recorder.SelectMixerLine(0));
    EXPECT_EQ(mixer->muxOf(0), (Items{0, 0, 1}));
    EXPECT_EQ(recorder.SelectedMixerLine(), 0);

    EXPECT_TRUE(recorder.SelectMixerLine(2));
    EXPECT_EQ(mixer->muxOf(0), (Items{1, 0, 0}));
    EXPECT_EQ(recorder.SelectedMixerLine(), 2);

    // The selector set elsewhere shows on the next read: nothing is cached.
    mixer->muxOf(0) = {0, 1, 0};
    EXPECT_EQ(recorder.SelectedMixerLine(), 1);
}

TEST_F(MixerFakeTest, SelectMixerLineOutOfRange_leavesTheSelectorAndReturnsTrue)
{
    ASSERT_TRUE(recorder.SelectDevice(0));
    mixer->muxOf(0) = {0, 1, 0};
    EXPECT_TRUE(recorder.SelectMixerLine(-1));
    EXPECT_TRUE(recorder.SelectMixerLine(3));
    EXPECT_TRUE(recorder.SelectMixerLine(10));
    EXPECT_EQ(mixer->muxOf(0), (Items{0, 1, 0}));
}

TEST_F(MixerFakeTest, WithNoDeviceSelected_theLineMembersAnswerNothingAndSelectTouchesNoMixer)
{
    const int before = mixer->callCount;
    EXPECT_FALSE(recorder.SelectMixerLine(0));
    EXPECT_EQ(mixer->callCount, before);
    EXPECT_EQ(recorder.MixerLineCount(), 0);
    EXPECT_EQ(recorder.MixerLineName(0), "");
    EXPECT_EQ(recorder.SelectedMixerLine(), -1);
    EXPECT_EQ(recorder.MixerLineVolume(), 0);
}

TEST_F(MixerFakeTest, MixerLineType_minusOneMeansTheSelectedLine)
{
    ASSERT_TRUE(recorder.SelectDevice(0));
    ASSERT_TRUE(recorder.SelectMixerLine(1));
    EXPECT_EQ(recorder.MixerLineType(-1), static_cast<std::int32_t>(MIXERLINE_COMPONENTTYPE_SRC_LINE));
    EXPECT_EQ(recorder.MixerLineType(-1), recorder.MixerLineType(recorder.SelectedMixerLine()));
    EXPECT_EQ(recorder.MixerLineType(2), 0x1005);
    EXPECT_EQ(recorder.MixerLineType(3), 0);
}

TEST_F(MixerFakeTest, MixerLineVolume_setsBothChannelsOfTheSelectedLineAndReadsTheLeft)
{
    ASSERT_TRUE(recorder.SelectDevice(0));
    ASSERT_TRUE(recorder.SelectMixerLine(1));
    recorder.MixerLineVolume(32768);
    auto& lines = mixer->devices[0].destinations[0].sources;
    EXPECT_EQ(lines[1].volume, (Items{32768, 32768}));
    EXPECT_EQ(lines[0].volume, (Items{0, 0}));
    EXPECT_EQ(lines[2].volume, (Items{0, 0}));
    EXPECT_EQ(recorder.MixerLineVolume(), 32768);

    lines[1].volume = {100, 200};
    EXPECT_EQ(recorder.MixerLineVolume(), 100);

    // A line with four channels gets the value on all of them.
    lines[1].volume = {0, 0, 0, 0};
    recorder.MixerLineVolume(65535);
    EXPECT_EQ(lines[1].volume, (Items{65535, 65535, 65535, 65535}));
}

TEST_F(MixerFakeTest, WaveInDestinationAfterAnotherDestination_isFoundAndUsed)
{
    FakeMixer::Device card = FakeMixer::recordingDevice({"Mic", "Aux", "Line"});
    FakeMixer::Destination speakers;
    speakers.name = "Volume Control";
    speakers.componentType = 4;  // speakers
    speakers.sources = {FakeMixer::Source{"Wave"}};
    speakers.sources[0].componentType = 0x1008;
    card.destinations.insert(card.destinations.begin(), speakers);
    mixer->devices = {card};

    ASSERT_TRUE(recorder.SelectDevice(0));
    EXPECT_EQ(recorder.MixerLineCount(), 3);
    EXPECT_EQ(recorder.MixerLineName(2), "Line");
    EXPECT_TRUE(recorder.SelectMixerLine(0));
    EXPECT_EQ(mixer->muxOf(0, 1), (Items{0, 0, 1}));
    EXPECT_EQ(recorder.SelectedMixerLine(), 0);
    recorder.MixerLineVolume(1000);
    EXPECT_EQ(mixer->devices[0].destinations[1].sources[0].volume, (Items{1000, 1000}));
    EXPECT_EQ(mixer->devices[0].destinations[0].sources[0].volume, (Items{0, 0}));
}

TEST_F(MixerFakeTest, WaveInDestinationWithoutSelector_cannotSelectALine)
{
    mixer->devices[0].destinations[0].hasMux = false;
    ASSERT_TRUE(recorder.SelectDevice(0));
    EXPECT_EQ(recorder.MixerLineCount(), 3);
    EXPECT_FALSE(recorder.SelectMixerLine(0));
    // Without a selector to read, the last line is reported.
    EXPECT_EQ(recorder.SelectedMixerLine(), 2);

    mixer->devices[0].destinations[0].hasMux = true;
    mixer->failLineControls = true;
    EXPECT_FALSE(recorder.SelectMixerLine(0));
}

TEST_F(MixerFakeTest, MixerWithoutWaveInDestination_hasNoLinesAndVolumeZero)
{
    mixer->devices[0].destinations[0].componentType = 4;
    mixer->devices[0].destinations[0].sources[0].volume = {500, 500};
    ASSERT_TRUE(recorder.SelectDevice(0));
    EXPECT_EQ(recorder.MixerLineCount(), 0);
    EXPECT_EQ(recorder.MixerLineName(0), "");
    EXPECT_EQ(recorder.MixerLineVolume(), 0);
    EXPECT_EQ(recorder.MixerLineType(0), 0);
    // No wave-in line at all: there is nothing to select, which is not an error.
    EXPECT_TRUE(recorder.SelectMixerLine(0));
}

TEST_F(MixerFakeTest, LineNames_stopAtTheFirstNul)
{
    mixer->devices[0].destinations[0].sources[0].name = std::string("Mic\0Boost", 9);
    ASSERT_TRUE(recorder.SelectDevice(0));
    EXPECT_EQ(recorder.MixerLineName(0), "Mic");
}

}  // namespace
}  // namespace quillon
