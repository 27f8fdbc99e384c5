// Where the recording core puts markers: dropouts, runs of clipping in the written signal,
// the user's marks; and the disk's time left.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>

#include "recording/FileCounter.h"
#include "recording/RecordingControl.h"
#include "tests/support/FakePorts.h"
#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

struct QuietView final : RecordingView {
    void RecordingStarted() override {}
    void RecordingStopped(const QString&) override {}
};

// 8000 Hz mono: half a second is 4000 frames.
struct Step {
    enum Kind { Block, Dropout, Mark } kind = Block;
    int frames = 0;                              // Block: its length; Dropout: frames lost
    std::vector<std::pair<int, int>> samples{};  // Block: index, value
};

struct MarkerRow {
    const char* name;
    bool effectsHalve;
    std::vector<Step> steps;
    std::vector<std::pair<std::int64_t, std::string>> markers;
    int dropouts;
    int clips;
};

class RecordingMarkers : public ::testing::TestWithParam<MarkerRow> {
protected:
    void SetUp() override
    {
        QDir().mkpath(folder + "/file");
        intFileCounter(1);
    }
    test::TempDir dir;
    QString folder = QString::fromStdString(dir.path().string());
    test::RecordingMessageBoxes boxes;
    test::FakePorts engines;
    QuietView view;
    RecordingControl control{engines.capture(), engines.encoder(), engines.effects(), folder, view};
};

TEST_P(RecordingMarkers, MarkedWhereItHappened)
{
    const MarkerRow& row = GetParam();
    engines.effectsFake.halve = row.effectsHalve;
    EXPECT_FALSE(control.Mark()) << "nothing to mark while idle";
    control.cmdDo_Click({AutoFileName(folder, 1), QStringLiteral("8000"), false, true});
    ASSERT_TRUE(engines.captureFake.recording);
    for (const Step& step : row.steps) {
        if (step.kind == Step::Block) {
            std::vector<std::int16_t> slot(static_cast<std::size_t>(step.frames), 100);
            for (const auto& [index, value] : step.samples) {
                slot[static_cast<std::size_t>(index)] = static_cast<std::int16_t>(value);
            }
            control.GotData(slot, step.frames * 2);
        } else if (step.kind == Step::Dropout) {
            control.Dropout(static_cast<std::uint64_t>(step.frames) * 2);
        } else {
            EXPECT_TRUE(control.Mark());
        }
    }
    control.cmdDo_Click({});
    EXPECT_EQ(engines.encoderFake.markers, row.markers);
    EXPECT_EQ(control.DropoutCount(), row.dropouts);
    EXPECT_EQ(control.ClipCount(), row.clips);
    EXPECT_EQ(control.MarkerCount(), static_cast<int>(row.markers.size()));
}

using S = Step;
INSTANTIATE_TEST_SUITE_P(
    Events, RecordingMarkers,
    ::testing::Values(
        MarkerRow{"oneClipMarkedAtTheStop", false, {{S::Block, 1000, {{10, 32767}}}}, {{10, "削波 1 个采样"}}, 0, 1},
        MarkerRow{"clipsUnderHalfASecondApartMakeOne",
                  false,
                  {{S::Block, 1000, {{10, 32767}, {11, -32768}}}, {S::Block, 2000}, {S::Block, 1000, {{400, 32767}}}},
                  {{10, "削波 3 个采样"}},
                  0,
                  1},
        MarkerRow{"clipsHalfASecondApartMakeTwo",
                  false,
                  {{S::Block, 1000, {{10, -32768}}}, {S::Block, 4000}, {S::Block, 1000, {{10, 32767}}}},
                  {{10, "削波 1 个采样"}, {5010, "削波 1 个采样"}},
                  0,
                  2},
        MarkerRow{"clippingTheEffectsTakeAwayIsNotMarked", true, {{S::Block, 1000, {{10, 32767}}}}, {}, 0, 0},
        MarkerRow{"dropoutWithItsLength_laterPointsCountTheFilledSilence",
                  false,
                  {{S::Block, 1000}, {S::Dropout, 800}, {S::Mark}, {S::Block, 1000, {{5, 32767}}}},
                  {{1000, "丢失 100 ms"}, {1800, "标记"}, {1805, "削波 1 个采样"}},
                  1,
                  1}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(RecordingDiskLeft, TimeLeftFollowsTheDisk_andTheUserIsToldOnceUnderFiveMinutes)
{
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    test::TempDir dir;
    const QString folder = QString::fromStdString(dir.path().string());
    QDir().mkpath(folder + "/file");
    test::RecordingMessageBoxes boxes;
    test::FakePorts engines;
    engines.effectsFake.halve = false;
    QuietView view;
    RecordingControl control{engines.capture(), engines.encoder(), engines.effects(), folder, view};
    std::int64_t free = 16000 * 4000;  // 8000 Hz mono: 16000 bytes a second
    control.FreeBytesSource([&free](const QString&) { return free; });
    control.cmdDo_Click({folder + "/take.wav", QStringLiteral("8000"), false, true});
    EXPECT_EQ(control.DiskSecondsLeft(), -1) << "not looked at before a second is recorded";

    const std::vector<std::int16_t> second(8000, 0);
    const std::int64_t steps[] = {4000, 301, 299, 120};
    for (const std::int64_t seconds : steps) {
        free = 16000 * seconds;
        control.GotData(second, 16000);
        QCoreApplication::processEvents();
        EXPECT_EQ(control.DiskSecondsLeft(), seconds);
    }
    ASSERT_EQ(boxes.messages.size(), 1U) << "once, not at every check";
    EXPECT_EQ(boxes.messages[0].text, "磁盘剩余空间只够再录音 5 分钟!");
    EXPECT_TRUE(engines.captureFake.recording) << "the recording goes on";
    control.cmdDo_Click({});
    EXPECT_EQ(control.DiskSecondsLeft(), -1);
}

}  // namespace
}  // namespace quillon
