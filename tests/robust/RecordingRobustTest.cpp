// The recording control's guards around the encoder and the capture engine: start-up
// repair, the size limit, dropped audio, a lost device, write errors, free space and a
// broken settings file. The real encoder writes the files; the capture engine is a stand-in.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <cstdint>
#include <fstream>
#include <limits>
#include <random>
#include <vector>

#include "encoder/EncoderWAV.h"
#include "encoder/WavRepair.h"
#include "recording/FileCounter.h"
#include "recording/RecordingControl.h"
#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

class StandInCapture final : public CapturePort {
public:
    [[nodiscard]] bool IsRecording() const override { return recording; }
    bool StartRecord(std::int32_t, std::int16_t) override
    {
        ++starts;
        recording = true;
        dropped = 0;
        return true;
    }
    bool StopRecord() override
    {
        ++stops;
        recording = false;
        return true;
    }
    [[nodiscard]] std::int32_t DeviceCount() const override { return 1; }
    [[nodiscard]] std::string DeviceName(std::int32_t) const override { return "null"; }
    bool SelectDevice(std::int32_t) override { return true; }
    [[nodiscard]] std::int32_t SelectedDevice() const override { return 0; }
    [[nodiscard]] std::int32_t MixerLineCount() const override { return 0; }
    [[nodiscard]] std::string MixerLineName(std::int32_t) const override { return {}; }
    bool SelectMixerLine(std::int32_t) override { return false; }
    [[nodiscard]] std::int32_t SelectedMixerLine() const override { return -1; }
    [[nodiscard]] std::int32_t MixerLineVolume() const override { return 0; }
    void MixerLineVolume(std::int32_t) override {}
    void OnGotData(GotDataHandler) override {}
    [[nodiscard]] std::uint64_t DroppedBytes() const override { return dropped; }
    void OnDeviceLost(std::function<void()> handler) override { deviceLost = std::move(handler); }
    void OnDropout(DropoutHandler handler) override { dropout = std::move(handler); }

    bool recording = false;
    int starts = 0;
    int stops = 0;
    std::uint64_t dropped = 0;
    std::function<void()> deviceLost;
    DropoutHandler dropout;
};

// The real encoder, with a switch to make its writes fail and a way to inflate its
// output estimate.
class RealEncoder final : public EncoderPort {
public:
    std::int32_t Encoder_EncoderInit(std::int32_t rate, std::int16_t channels, const std::string& file) override
    {
        return enc.Encoder_EncoderInit(rate, channels, file);
    }
    std::int32_t Encoder_Encode(const void* buffer, std::int32_t length, std::int32_t& used) override
    {
        return failWrites ? 10 : enc.Encoder_Encode(buffer, length, used);
    }
    std::int32_t Encoder_EncoderClose() override { return enc.Encoder_EncoderClose(); }
    std::int32_t Encoder_EncoderMetrics(std::int32_t info) override { return enc.Encoder_EncoderMetrics(info); }
    [[nodiscard]] std::string FormatTag() const override { return enc.FormatTag(); }
    [[nodiscard]] std::string FormatID() const override { return enc.FormatID(); }
    [[nodiscard]] std::int64_t Encoder_FileLength() const override { return enc.Encoder_FileLength(); }
    [[nodiscard]] std::int64_t Encoder_MaxOutputBytes(std::int32_t length) const override
    {
        return outputScale * enc.Encoder_MaxOutputBytes(length);
    }
    std::int32_t Encoder_NextFile(const std::string& file) override
    {
        return enc.Encoder_NextFile(failNextFile ? "/nonexistent-quillon-folder/x.wav" : file);
    }

    EncoderWAV enc;
    bool failNextFile = false;
    bool failWrites = false;
    std::int64_t outputScale = 1;
};

class NoEffects final : public EffectsPort {
public:
    void samplerate(std::int32_t) override {}
    void Channels(std::int16_t) override {}
    void ProcessSamples(std::vector<std::int16_t>&) override {}
    [[nodiscard]] std::int32_t EffectsUsed() const override { return 0; }
    void EffectsUsed(std::int32_t) override {}
};

struct ViewLog final : RecordingView {
    void RecordingStarted() override { ++started; }
    void RecordingStopped(const QString& next) override { nextFile = next; }
    void RecordingContinued(const QString& file) override { continued.push_back(file); }
    int started = 0;
    QString nextFile;
    std::vector<QString> continued;
};

std::vector<std::uint8_t> cutRecording(std::size_t audioBytes)
{
    std::vector<std::uint8_t> b = {'R', 'I', 'F', 'F', 0, 0, 0,   0,   'W',  'A',  'V', 'E', 'f',  'm',  't', ' ',
                                   18,  0,   0,   0,   1, 0, 2,   0,   0x44, 0xac, 0,   0,   0x10, 0xb1, 2,   0,
                                   4,   0,   16,  0,   0, 0, 'd', 'a', 't',  'a',  0,   0,   0,    0};
    for (std::size_t i = 0; i < audioBytes; ++i) {
        b.push_back(static_cast<std::uint8_t>(i));
    }
    return b;
}

void writeBytes(const QString& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path.toStdString(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> audioOf(const QString& path)
{
    const auto bytes = test::readFileBytes(path.toStdString());
    return bytes.size() < 46 ? std::vector<std::uint8_t>{} : std::vector<std::uint8_t>(bytes.begin() + 46, bytes.end());
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

class RecordingRobustTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(folder + "/file");
        intFileCounter(1);
        varLastFile({});
        encoder.enc.HeaderUpdateInterval(std::chrono::hours(1));
    }

    void start(std::int16_t counter = 1)
    {
        intFileCounter(counter);
        control.cmdDo_Click({AutoFileName(folder, counter), QStringLiteral("44100"), true, true});
        ASSERT_TRUE(capture.recording);
    }

    // One full capture buffer of fresh random audio; returns its bytes.
    std::vector<std::uint8_t> deliver()
    {
        std::vector<std::int16_t> slot(5120);
        for (auto& v : slot) {
            v = static_cast<std::int16_t>(rng());
        }
        control.GotData(slot, 10240);
        const auto* p = reinterpret_cast<const std::uint8_t*>(slot.data());
        return {p, p + 10240};
    }

    test::TempDir dir;
    QString folder = QString::fromStdString(dir.path().string());
    test::RecordingMessageBoxes boxes;
    StandInCapture capture;
    RealEncoder encoder;
    NoEffects effects;
    ViewLog view;
    RecordingControl control{capture, encoder, effects, folder, view};
    std::mt19937 rng{7};
};

TEST_F(RecordingRobustTest, StartupRepairsCutRecordingsSaysWhichAndNumbersPastThem)
{
    writeBytes(AutoFileName(folder, 5), cutRecording(4000 + 3));
    writeBytes(AutoFileName(folder, 4), {});
    std::ofstream((folder + "/nu.ini").toStdString()) << "5\r\n";

    const QString file = control.PrepareStartupFile();

    ASSERT_EQ(boxes.messages.size(), 1U);
    EXPECT_EQ(boxes.messages[0].title, "Quillon");
    EXPECT_NE(boxes.messages[0].text.find("录音5.wav"), std::string::npos) << boxes.messages[0].text;
    EXPECT_EQ(boxes.messages[0].text.find("录音4.wav"), std::string::npos);
    EXPECT_EQ(QFileInfo(AutoFileName(folder, 5)).size(), 46 + 4000);
    // The recovered take is kept: the next recording goes to a new number.
    EXPECT_EQ(file, AutoFileName(folder, 6));

    boxes.messages.clear();
    control.PrepareStartupFile();
    EXPECT_TRUE(boxes.messages.empty()) << "a second start must find nothing to repair";
}

TEST_F(RecordingRobustTest, UnusableSettingsFileIsReportedOnceWithTheNumberUsed)
{
    struct Row {
        const char* what;
        const char* content;  // nullptr: no file at all
        bool complains;
    };
    const Row rows[] = {{"missing (first run)", nullptr, false},
                        {"valid", "3\r\n", false},
                        {"letters", "abc\r\n", true},
                        {"too large", "40000\r\n", true},
                        {"empty", "", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        boxes.messages.clear();
        QFile::remove(folder + "/nu.ini");
        if (row.content != nullptr) {
            std::ofstream((folder + "/nu.ini").toStdString()) << row.content;
        }
        control.PrepareStartupFile();
        ASSERT_EQ(boxes.messages.size(), row.complains ? 1U : 0U);
        if (row.complains) {
            EXPECT_NE(boxes.messages[0].text.find("nu.ini"), std::string::npos);
            EXPECT_NE(boxes.messages[0].text.find(std::to_string(intFileCounter())), std::string::npos);
        }
    }
}

TEST_F(RecordingRobustTest, SizeLimit_continuesInNumberedFilesWhoseJoinedAudioIsTheCapture)
{
    control.SizeLimit(46 + 3 * 10240 + 5000);
    start(1);
    std::vector<std::uint8_t> captured;
    for (int i = 0; i < 14; ++i) {
        const auto block = deliver();
        captured.insert(captured.end(), block.begin(), block.end());
    }
    const std::int32_t elapsed = control.lngElapsedMs();
    control.cmdDo_Click({});

    // 14 buffers at three per file: files 1 to 5, the last one holding two.
    ASSERT_EQ(view.continued.size(), 4U);
    std::vector<std::uint8_t> joined;
    for (std::int16_t n = 1; n <= 5; ++n) {
        const QString file = AutoFileName(folder, n);
        const auto bytes = test::readFileBytes(file.toStdString());
        ASSERT_GE(bytes.size(), 46U) << n;
        EXPECT_LE(static_cast<std::int64_t>(bytes.size()), control.SizeLimit()) << n;
        EXPECT_EQ(planWavRepair(MemoryByteSource(bytes)).verdict, WavVerdict::Intact) << n;
        EXPECT_EQ(le32(bytes, 42), bytes.size() - 46) << n;
        const auto audio = audioOf(file);
        joined.insert(joined.end(), audio.begin(), audio.end());
        if (n > 1) {
            EXPECT_EQ(view.continued[static_cast<std::size_t>(n - 2)], file);
        }
    }
    EXPECT_EQ(joined, captured);
    EXPECT_GT(elapsed, 14 * 58 - 1) << "the elapsed time runs on over the seams";
    // The stop after the last piece: it is the last file, and the next number is ready.
    EXPECT_EQ(varLastFile(), AutoFileName(folder, 5));
    EXPECT_EQ(intFileCounter(), 6);
    EXPECT_TRUE(QFileInfo::exists(AutoFileName(folder, 6)));
    EXPECT_EQ(QFileInfo(AutoFileName(folder, 6)).size(), 0);
    EXPECT_EQ(capture.starts, 1) << "the capture never stopped at a seam";
    EXPECT_TRUE(boxes.messages.empty());
}

// A file named by the user goes on in FILE-2.wav, FILE-3.wav ... (never one that exists),
// and leaves the numbering and nu.ini alone.
TEST_F(RecordingRobustTest, SizeLimitOfANamedFile_continuesInItsOwnNamesNotInTheNumbering)
{
    const QString take = folder + "/take.wav";
    writeBytes(folder + "/take-2.wav", {'k', 'e', 'e', 'p'});
    control.SizeLimit(46 + 3 * 10240 + 5000);
    control.OutputFile(take);
    intFileCounter(7);
    control.cmdDo_Click({take, QStringLiteral("44100"), true, true});
    ASSERT_TRUE(capture.recording);
    for (int i = 0; i < 7; ++i) {
        deliver();
    }
    control.cmdDo_Click({});
    ASSERT_EQ(view.continued.size(), 2U);
    EXPECT_EQ(view.continued[0], folder + "/take-3.wav");
    EXPECT_EQ(view.continued[1], folder + "/take-4.wav");
    EXPECT_EQ(test::readFileBytes((folder + "/take-2.wav").toStdString()),
              (std::vector<unsigned char>{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(audioOf(folder + "/take-4.wav").size(), 10240U);
    EXPECT_EQ(intFileCounter(), 7);
    EXPECT_FALSE(QFileInfo::exists(folder + "/nu.ini"));
    EXPECT_TRUE(QDir(folder + "/file").isEmpty());
}

// The next file cannot be opened: the counter, the folder and the encoder are as before the
// attempt, and the recording stops with a complete file and the write-error message.
TEST_F(RecordingRobustTest, FailedContinuation_isUndoneAndStopsWithAValidFile)
{
    control.SizeLimit(46 + 3 * 10240 + 5000);
    encoder.failNextFile = true;
    start(1);
    std::vector<std::uint8_t> captured;
    for (int i = 0; i < 4; ++i) {
        const auto block = deliver();
        if (i < 3) {
            captured.insert(captured.end(), block.begin(), block.end());
        }
    }
    EXPECT_FALSE(capture.recording);
    EXPECT_EQ(audioOf(AutoFileName(folder, 1)), captured);
    EXPECT_EQ(planWavRepair(MemoryByteSource(test::readFileBytes(AutoFileName(folder, 1).toStdString()))).verdict,
              WavVerdict::Intact);
    EXPECT_EQ(intFileCounter(), 2) << "advanced once, by the stop";
    EXPECT_EQ(QFileInfo(AutoFileName(folder, 2)).size(), 0);
    EXPECT_FALSE(QFileInfo::exists(AutoFileName(folder, 3)));
    EXPECT_EQ(encoder.Encoder_EncoderClose(), 2) << "closed by the stop, once";
    ASSERT_FALSE(boxes.messages.empty());
    EXPECT_EQ(boxes.messages.back().text, "Write error (no disk space left?)!");
}

TEST_F(RecordingRobustTest, DroppedAudio_becomesSilenceOfTheSameLengthWhereItWasLostAndIsCounted)
{
    ASSERT_TRUE(capture.dropout) << "the control listens for lost audio";
    for (const bool fill : {true, false}) {
        SCOPED_TRACE(fill ? "filled" : "not filled");
        control.FillDropouts(fill);
        start(fill ? 1 : 2);
        const auto first = deliver();
        // The engine counts a loss as it happens, before the audio ahead of it is delivered:
        // the time shown follows at once, the silence waits for its place.
        capture.dropped += 17640 + 2;  // 100 ms and a torn frame
        const auto second = deliver();
        EXPECT_EQ(control.DroppedMs(), 100);
        capture.dropout(17640 + 2);
        const auto third = deliver();
        const std::int32_t elapsed = control.lngElapsedMs();
        control.cmdDo_Click({});

        std::vector<std::uint8_t> expected = first;
        expected.insert(expected.end(), second.begin(), second.end());
        if (fill) {
            expected.insert(expected.end(), 17640, 0);
        }
        expected.insert(expected.end(), third.begin(), third.end());
        EXPECT_EQ(audioOf(AutoFileName(folder, fill ? 1 : 2)), expected);
        EXPECT_EQ(elapsed, fill ? 58 + 58 + 100 + 58 : 58 + 58 + 58);
        EXPECT_EQ(control.DroppedMs(), 100) << "still shown after the stop";
    }
    // After the stop a late report changes nothing.
    const auto before = audioOf(AutoFileName(folder, 1));
    capture.dropout(17640);
    EXPECT_EQ(audioOf(AutoFileName(folder, 1)), before);
}

TEST_F(RecordingRobustTest, DiskFullWhileFillingADropout_stopsAndSaysSo)
{
    start(1);
    deliver();
    encoder.failWrites = true;
    capture.dropout(176400);
    EXPECT_FALSE(capture.recording);
    EXPECT_TRUE(control.WriteFailed());
    ASSERT_EQ(boxes.messages.size(), 1U);
    EXPECT_EQ(boxes.messages[0].text, "Write error (no disk space left?)!");
}

TEST_F(RecordingRobustTest, DeviceLost_stopsThroughTheStopSequenceSaysSoAndANewRecordingWorks)
{
    ASSERT_TRUE(capture.deviceLost) << "the control listens for a lost device";
    start(1);
    const auto block = deliver();
    capture.deviceLost();

    EXPECT_FALSE(capture.recording);
    EXPECT_EQ(capture.stops, 1);
    ASSERT_EQ(boxes.messages.size(), 1U);
    EXPECT_EQ(boxes.messages[0].title, "Quillon");
    EXPECT_EQ(boxes.messages[0].text, "录音设备已断开, 录音已停止!");
    EXPECT_EQ(audioOf(AutoFileName(folder, 1)), block);
    EXPECT_EQ(intFileCounter(), 2);
    EXPECT_EQ(varLastFile(), AutoFileName(folder, 1));

    capture.deviceLost();  // a late notice after the stop changes nothing
    EXPECT_EQ(boxes.messages.size(), 1U);

    start(2);
    const auto again = deliver();
    control.cmdDo_Click({});
    EXPECT_EQ(audioOf(AutoFileName(folder, 2)), again);
}

TEST_F(RecordingRobustTest, WriteError_stopsLeavesAValidFileAndTheNextRecordingWorks)
{
    start(1);
    const auto block = deliver();
    encoder.failWrites = true;
    deliver();
    EXPECT_FALSE(capture.recording);
    ASSERT_EQ(boxes.messages.size(), 1U);
    EXPECT_EQ(boxes.messages[0].text, "Write error (no disk space left?)!");
    const auto bytes = test::readFileBytes(AutoFileName(folder, 1).toStdString());
    EXPECT_EQ(planWavRepair(MemoryByteSource(bytes)).verdict, WavVerdict::Intact);
    EXPECT_EQ(audioOf(AutoFileName(folder, 1)), block);

    encoder.failWrites = false;
    start(intFileCounter());
    const auto again = deliver();
    control.cmdDo_Click({});
    EXPECT_EQ(audioOf(varLastFile()), again);
    EXPECT_FALSE(control.WriteFailed());
}

TEST_F(RecordingRobustTest, LowFreeSpace_warnsBeforeRecordingButStillRecords)
{
    start(1);
    control.cmdDo_Click({});
    EXPECT_TRUE(boxes.messages.empty()) << "a minute of audio fits on the test disk";

    // An output format so large that no disk holds a minute of it.
    encoder.outputScale = std::int64_t{1} << 40;
    start(2);
    EXPECT_TRUE(capture.recording);
    control.cmdDo_Click({});
    ASSERT_EQ(boxes.messages.size(), 1U);
    EXPECT_EQ(boxes.messages[0].title, "提示");
    EXPECT_EQ(boxes.messages[0].text, "磁盘剩余空间不足一分钟的录音!");
}

}  // namespace
}  // namespace quillon
