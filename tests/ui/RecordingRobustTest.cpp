#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <cstdint>
#include <fstream>
#include <vector>

#include "tests/support/TestSupport.h"
#include "tests/ui/FakeEngines.h"
#include "ui/recording/FileCounter.h"
#include "ui/recording/RecordingControl.h"

namespace quillon {
namespace {

struct QuietView final : RecordingView {
    void RecordingStarted() override {}
    void RecordingStopped(const QString& nextFile) override { this->nextFile = nextFile; }
    QString nextFile;
};

// What a recording killed before its first header update leaves: 16-bit stereo
// header with zero sizes, then the audio.
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

class RecordingRobustTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(folder + "/file");
        intFileCounter(1);
        varLastFile({});
    }

    test::TempDir dir;
    QString folder = QString::fromStdString(dir.path().string());
    test::RecordingMessageBoxes boxes;
    test::LoggingEngines engines;
    QuietView view;
    RecordingControl control{engines.capture(), engines.encoder(), engines.effects(), folder, view};
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

}  // namespace
}  // namespace quillon
