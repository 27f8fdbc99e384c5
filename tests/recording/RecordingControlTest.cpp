#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <fstream>

#include "recording/FileCounter.h"
#include "recording/RecordingControl.h"
#include "tests/support/FakePorts.h"
#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

struct ViewLog final : RecordingView {
    void RecordingStarted() override { events.emplace_back("started"); }
    void RecordingStopped(const QString& next) override
    {
        events.emplace_back("stopped");
        nextFile = next;
    }
    std::vector<std::string> events;
    QString nextFile;
};

std::string readAll(const QString& path)
{
    const auto bytes = test::readFileBytes(path.toStdString());
    return {bytes.begin(), bytes.end()};
}

class RecordingControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(folder + "/file");
        intFileCounter(7);
        varLastFile({});
    }

    RecordInputs valid(const char* rate = "44100", bool stereo = true) const
    {
        return {AutoFileName(folder, 7), QString::fromLatin1(rate), stereo, true};
    }

    void deliver(std::int32_t bytes, std::int16_t value = 1000)
    {
        std::vector<std::int16_t> slot(5120, value);
        control.GotData(slot, bytes);
    }

    test::TempDir dir;
    QString folder = QString::fromStdString(dir.path().string());
    test::RecordingMessageBoxes boxes;
    test::FakePorts engines;
    ViewLog view;
    RecordingControl control{engines.capture(), engines.encoder(), engines.effects(), folder, view};
};

TEST_F(RecordingControlTest, EmptyFileBoxIsTheOnlyComplaintEvenWithoutDevice)
{
    control.cmdDo_Click({QString(), QStringLiteral("44100"), true, false});
    ASSERT_EQ(boxes.messages.size(), 1U);
    EXPECT_EQ(boxes.messages[0].title, "提示");
    EXPECT_EQ(boxes.messages[0].text, "没有指定输出文件!");
    EXPECT_EQ(boxes.messages[0].icon, MessageIcon::Warning);
    EXPECT_TRUE(engines.log.calls.empty());
}

TEST_F(RecordingControlTest, NoDeviceIsRefusedBeforeAnythingOpens)
{
    auto in = valid();
    in.deviceSelected = false;
    control.cmdDo_Click(in);
    ASSERT_EQ(boxes.messages.size(), 1U);
    EXPECT_EQ(boxes.messages[0].text, "没有选择硬件设备!");
    EXPECT_TRUE(engines.log.calls.empty());
}

TEST_F(RecordingControlTest, RatesOutsideOneTo96000AreRefusedBeforeAnythingOpens)
{
    for (const char* rate : {"", "abc", "0", "96001", "99999", "44.1", "-8000", "8000x"}) {
        boxes.messages.clear();
        control.cmdDo_Click(valid(rate));
        ASSERT_EQ(boxes.messages.size(), 1U) << rate;
        EXPECT_EQ(boxes.messages[0].title, "提示");
        EXPECT_NE(boxes.messages[0].text.find("96000"), std::string::npos);
    }
    EXPECT_TRUE(engines.log.calls.empty());
    EXPECT_FALSE(QFileInfo::exists(folder + "/nu.ini"));
    EXPECT_EQ(ParseSampleRate(QStringLiteral("1")), 1);
    EXPECT_EQ(ParseSampleRate(QStringLiteral("96000")), 96000);
}

TEST_F(RecordingControlTest, StartOpensEncoderThenEffectsThenCaptureAndSavesTheCounter)
{
    control.cmdDo_Click(valid("8000", false));
    const std::vector<std::string> expected = {"EncoderInit 8000 1 " + AutoFileName(folder, 7).toStdString(),
                                               "samplerate 8000", "Channels 1", "StartRecord 8000 1"};
    EXPECT_EQ(engines.log.calls, expected);
    EXPECT_EQ(control.lngBytesPerSec(), 16000);
    EXPECT_EQ(view.events, std::vector<std::string>{"started"});
    EXPECT_EQ(readAll(folder + "/nu.ini"), "7\r\n");
    EXPECT_TRUE(boxes.messages.empty());
}

// A name shown with U+FFFD stands for bytes that are not text: the real file is unknown.
TEST_F(RecordingControlTest, FileNameWithReplacementCharacterIsRefusedBeforeAnythingOpens)
{
    auto in = valid();
    in.file = folder + QStringLiteral("/a\uFFFD.wav");
    control.cmdDo_Click(in);
    ASSERT_EQ(boxes.messages.size(), 1U);
    EXPECT_NE(boxes.messages[0].text.find("无法确定真正的文件名"), std::string::npos);
    EXPECT_FALSE(engines.log.has("StartRecord 44100 2"));
    EXPECT_FALSE(QFileInfo::exists(in.file));
}

TEST_F(RecordingControlTest, EncoderInitFailureStopsTheStartWithItsMessage)
{
    engines.encoderFake.initResult = 2;
    control.cmdDo_Click(valid());
    ASSERT_EQ(boxes.messages.size(), 1U);
    EXPECT_EQ(boxes.messages[0].text.rfind("无法初始化编码器!\n", 0), 0U) << "the message itself first";
    EXPECT_FALSE(engines.log.has("StartRecord 44100 2"));
    EXPECT_EQ(control.lngBytesPerSec(), 176400);  // keeps its new value
    EXPECT_TRUE(view.events.empty());
}

TEST_F(RecordingControlTest, CaptureStartFailureLeavesTheWindowIdle)
{
    engines.captureFake.startSucceeds = false;
    // Without a reason the sentence alone; with one, the capture's reason on the next line.
    for (const std::string reason : {"", "unix:/run/pulse: Connection refused"}) {
        boxes.messages.clear();
        engines.captureFake.startFailure = reason;
        control.cmdDo_Click(valid());
        ASSERT_EQ(boxes.messages.size(), 1U);
        EXPECT_EQ(boxes.messages[0].text, reason.empty() ? "不能启动录音功能!" : "不能启动录音功能!\n" + reason);
    }
    EXPECT_TRUE(view.events.empty());
    EXPECT_FALSE(QFileInfo::exists(folder + "/nu.ini"));
}

TEST_F(RecordingControlTest, StopClosesAdvancesTheCounterAndPreparesTheNextFile)
{
    control.cmdDo_Click(valid());
    deliver(10240);
    control.cmdDo_Click(valid());

    EXPECT_TRUE(engines.log.has("StopRecord"));
    EXPECT_TRUE(engines.log.has("EncoderClose"));
    EXPECT_EQ(varLastFile(), AutoFileName(folder, 7));
    EXPECT_EQ(intFileCounter(), 8);
    EXPECT_EQ(view.nextFile, AutoFileName(folder, 8));
    EXPECT_TRUE(QFileInfo::exists(view.nextFile));
    EXPECT_EQ(QFileInfo(view.nextFile).size(), 0);
    EXPECT_EQ(readAll(folder + "/nu.ini"), "8\r\n");
    EXPECT_EQ(control.lngElapsedMs(), 0);
    EXPECT_EQ(control.lngBytesPerSec(), 0);
}

TEST_F(RecordingControlTest, StopFailureIsReportedButTheSequenceGoesOn)
{
    engines.captureFake.stopSucceeds = false;
    control.cmdDo_Click(valid());
    control.cmdDo_Click(valid());
    ASSERT_EQ(boxes.messages.size(), 1U);
    EXPECT_EQ(boxes.messages[0].text, "此时无法停止录音!");
    EXPECT_TRUE(engines.log.has("EncoderClose"));
    EXPECT_EQ(view.events.back(), "stopped");
}

TEST_F(RecordingControlTest, NumberingSkipsFilesThatHoldRecordingsAndKeepsThem)
{
    std::ofstream(AutoFileName(folder, 8).toStdString()) << "an older take";
    control.cmdDo_Click(valid());
    control.cmdDo_Click(valid());
    EXPECT_EQ(intFileCounter(), 9);
    EXPECT_EQ(readAll(AutoFileName(folder, 8)), "an older take");
    EXPECT_EQ(view.nextFile, AutoFileName(folder, 9));
}

TEST_F(RecordingControlTest, CounterWrapsFrom32767ToMinus32768)
{
    intFileCounter(32767);
    control.cmdDo_Click(valid());
    control.cmdDo_Click(valid());
    EXPECT_EQ(intFileCounter(), -32768);
    EXPECT_TRUE(view.nextFile.endsWith(QStringLiteral("/录音-32768.wav")));
    EXPECT_EQ(readAll(folder + "/nu.ini"), "-32768\r\n");
}

TEST_F(RecordingControlTest, ElapsedTimeIsRoundedPerBuffer)
{
    control.cmdDo_Click(valid("8000", false));
    deliver(10240);
    EXPECT_EQ(control.lngElapsedMs(), 640);

    control.cmdDo_Click(valid());
    control.cmdDo_Click(valid("44100", true));
    deliver(10240);
    EXPECT_EQ(control.lngElapsedMs(), 58);  // 58.05
    deliver(10240);
    EXPECT_EQ(control.lngElapsedMs(), 116);  // 58.05 + 58, not 116.1
}

TEST_F(RecordingControlTest, EffectsRunOnACopyBeforeEncoding)
{
    control.cmdDo_Click(valid());
    deliver(10240, 1000);
    ASSERT_EQ(control.intSamples().size(), 5120U);
    EXPECT_EQ(control.intSamples()[0], 500);
    ASSERT_EQ(engines.encoderFake.written.size(), 10240U);
    std::int16_t first = 0;
    std::memcpy(&first, engines.encoderFake.written.data(), sizeof first);
    EXPECT_EQ(first, 500);
}

TEST_F(RecordingControlTest, IdleBuffersAreProcessedButNotWritten)
{
    deliver(10240, 64);
    EXPECT_EQ(control.intSamples()[0], 32);
    EXPECT_FALSE(engines.log.has("Encode 10240"));
}

TEST_F(RecordingControlTest, BlocksLongerThanOneSecondReachTheEncoderInPieces)
{
    // 4000 Hz mono: 8000 bytes a second, but a capture buffer holds 10240.
    control.cmdDo_Click(valid("4000", false));
    std::vector<std::int16_t> slot(5120);
    for (std::size_t i = 0; i < slot.size(); ++i) {
        slot[i] = static_cast<std::int16_t>(i * 2);
    }
    control.GotData(slot, 10240);
    EXPECT_TRUE(engines.log.has("Encode 8000"));
    EXPECT_TRUE(engines.log.has("Encode 2240"));
    ASSERT_EQ(engines.encoderFake.written.size(), 10240U);
    std::vector<std::int16_t> written(5120);
    std::memcpy(written.data(), engines.encoderFake.written.data(), 10240);
    for (std::size_t i = 0; i < written.size(); ++i) {
        ASSERT_EQ(written[i], static_cast<std::int16_t>(i)) << i;  // halved by the effects, in order
    }
    EXPECT_EQ(control.LostBytes(), 0);
    EXPECT_EQ(control.lngElapsedMs(), 1280);
}

TEST_F(RecordingControlTest, WriteErrorStopsFirstThenTellsTheUser)
{
    struct OrderedBoxes final : MessageBoxes {
        explicit OrderedBoxes(test::CallLog& calls) : log(calls) { setMessageBoxes(this); }
        ~OrderedBoxes() override { setMessageBoxes(nullptr); }
        void show(const std::string& title, const std::string& text, MessageIcon) override
        {
            log.add("message " + title + " " + text);
        }
        test::CallLog& log;
    } ordered(engines.log);

    control.cmdDo_Click(valid());
    engines.encoderFake.encodeResult = kEncoderWriteError;
    deliver(10240);

    const auto& calls = engines.log.calls;
    ASSERT_GE(calls.size(), 3U);
    EXPECT_EQ(calls[calls.size() - 3], "StopRecord");
    EXPECT_EQ(calls[calls.size() - 2], "EncoderClose");
    EXPECT_EQ(calls.back(), "message Quillon Write error (no disk space left?)!");
    EXPECT_TRUE(control.WriteFailed());
    EXPECT_EQ(intFileCounter(), 8);
    EXPECT_EQ(readAll(folder + "/nu.ini"), "8\r\n");
    EXPECT_EQ(view.events.back(), "stopped");
}

TEST_F(RecordingControlTest, StartupPreparesTheFileForTheSavedCounter)
{
    std::ofstream((folder + "/nu.ini").toStdString()) << "41\r\n";
    const QString file = control.PrepareStartupFile();
    EXPECT_EQ(intFileCounter(), 41);
    EXPECT_EQ(file, AutoFileName(folder, 41));
    EXPECT_TRUE(QFileInfo::exists(file));
}

}  // namespace
}  // namespace quillon
