#include "ui/FrmST.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QAudioOutput>
#include <QListWidget>
#include <QMediaPlayer>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "encoder/WavMarkers.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/RecordingOpener.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

QString Q(const fs::path& p)
{
    return QString::fromStdString(p.string());
}

void Touch(const fs::path& p)
{
    std::ofstream(p).put('x');
}

// The main window's side: the last recording and the window slot of the listen button.
struct ListenBackFixture : ::testing::Test {
    void TearDown() override
    {
        delete window.data();
        delete owner;
    }
    FrmST* Listen()
    {
        return ShowListenBack(
            owner, window, [this] { return lastFile; }, [this] { return recording; });
    }

    test::TempDir dir;
    QWidget* owner = new QWidget;
    QPointer<FrmST> window;
    QString lastFile;
    QString recording;  // the file being recorded now
};

TEST_F(ListenBackFixture, opensAsToolWindowWithItsCaptionButtonsAndVolume)
{
    lastFile = Q(dir / "a.wav");
    Touch(dir / "a.wav");
    FrmST* st = Listen();

    EXPECT_EQ(st->windowTitle(), QStringLiteral("Quillon--试听"));
    EXPECT_EQ(st->windowType(), Qt::Tool);
    EXPECT_EQ(st->parentWidget(), nullptr);  // the main window's end must not destroy it
    EXPECT_TRUE(st->isVisible());
    EXPECT_EQ(st->DeleteButton()->text(), QStringLiteral("不满意，删除！"));
    EXPECT_EQ(st->OpenFolderButton()->text(), QStringLiteral("打开所在文件夹"));
    EXPECT_EQ(st->CloseButton()->text(), QStringLiteral("关闭"));
    EXPECT_EQ(st->VolumeBar()->maximum(), 100);
    EXPECT_EQ(st->VolumeBar()->value(), 75);
    EXPECT_FLOAT_EQ(st->AudioOutput()->volume(), 0.75F);
    st->VolumeBar()->setValue(40);
    EXPECT_FLOAT_EQ(st->AudioOutput()->volume(), 0.40F);
}

TEST_F(ListenBackFixture, secondListenSwitchesTheOpenWindowToTheNewLastFile)
{
    Touch(dir / "a.wav");
    Touch(dir / "b.wav");
    lastFile = Q(dir / "a.wav");
    FrmST* first = Listen();
    EXPECT_EQ(first->Player()->source(), QUrl::fromLocalFile(Q(dir / "a.wav")));

    lastFile = Q(dir / "b.wav");
    FrmST* second = Listen();
    EXPECT_EQ(second, first);
    EXPECT_EQ(second->Player()->source(), QUrl::fromLocalFile(Q(dir / "b.wav")));
}

TEST_F(ListenBackFixture, deleteRemovesOnlyTheLastRecordingAndCloses)
{
    Touch(dir / "a.wav");
    Touch(dir / "b.wav");
    lastFile = Q(dir / "a.wav");
    FrmST* st = Listen();

    st->DeleteButton()->click();

    EXPECT_TRUE(st->Player()->source().isEmpty());
    EXPECT_FALSE(fs::exists(dir / "a.wav"));
    EXPECT_TRUE(fs::exists(dir / "b.wav"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000));
    // The path stays the last recording: listening again opens an empty player on it.
    EXPECT_EQ(lastFile, Q(dir / "a.wav"));
    Listen();
    EXPECT_EQ(window->Player()->source(), QUrl::fromLocalFile(Q(dir / "a.wav")));
}

TEST_F(ListenBackFixture, deleteTouchesNothing_whenTheFileIsGoneOrNotAFileOrNoneRecordedYet)
{
    Touch(dir / "b.wav");
    fs::create_directory(dir / "folder.wav");
    for (const QString& path : {Q(dir / "gone.wav"), Q(dir / "folder.wav"), QString()}) {
        lastFile = path;
        Listen()->DeleteButton()->click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000));
    }
    EXPECT_TRUE(fs::exists(dir / "b.wav"));
    EXPECT_TRUE(fs::is_directory(dir / "folder.wav"));
}

// The same path chosen again for the next recording: deleting the last one would remove the
// file now being written.
TEST_F(ListenBackFixture, deleteRefuses_whenTheLastRecordingIsTheFileBeingRecorded)
{
    Touch(dir / "a.wav");
    Touch(dir / "b.wav");
    fs::create_symlink(dir / "a.wav", dir / "link.wav");
    const struct {
        fs::path last;
        fs::path recording;
        bool refused;
    } rows[] = {
        {dir / "a.wav", dir / "a.wav", true},
        {dir / "a.wav", dir / "." / "a.wav", true},
        {dir / "link.wav", dir / "a.wav", true},
        {dir / "b.wav", dir / "a.wav", false},
    };
    for (const auto& row : rows) {
        test::RecordingMessageBoxes boxes;
        lastFile = Q(row.last);
        recording = Q(row.recording);
        Listen()->DeleteButton()->click();
        EXPECT_EQ(fs::exists(row.last), row.refused) << row.last;
        EXPECT_TRUE(fs::exists(dir / "a.wav")) << row.last;
        if (row.refused) {
            ASSERT_EQ(boxes.messages.size(), 1U) << row.last;
            EXPECT_EQ(boxes.messages[0].title, "Quillon");
            EXPECT_EQ(boxes.messages[0].text, "这个文件正在录音, 不能删除!");
            EXPECT_FALSE(window.isNull()) << "the window stays open";
        } else {
            EXPECT_TRUE(boxes.messages.empty());
            EXPECT_TRUE(QTest::qWaitFor([this] { return window.isNull(); }, 5000));
        }
    }
}

TEST_F(ListenBackFixture, listsTheMarkersOfTheFilePlaying_andJumpsToTheOneChosen)
{
    // 8000 Hz mono, two seconds of silence, two markers after the audio.
    std::vector<std::uint8_t> wav = {'R', 'I', 'F', 'F', 0,  0, 0,   0,   'W', 'A',  'V',  'E',  'f', 'm',  't',
                                     ' ', 16,  0,   0,   0,  1, 0,   1,   0,   0x40, 0x1F, 0,    0,   0x80, 0x3E,
                                     0,   0,   2,   0,   16, 0, 'd', 'a', 't', 'a',  0,    0x7D, 0,   0};
    wav.resize(wav.size() + 32000, 0);
    const std::vector<WavMarker> markers = {{4000, "标记"}, {12000, "丢失 120 ms"}};
    const auto chunks = MarkerChunks(markers);
    wav.insert(wav.end(), chunks.begin(), chunks.end());
    const auto riff = static_cast<std::uint32_t>(wav.size() - 8);
    for (int i = 0; i < 4; ++i) {
        wav[4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(riff >> (8 * i));
    }
    std::ofstream(dir / "m.wav", std::ios::binary)
        .write(reinterpret_cast<const char*>(wav.data()), static_cast<std::streamsize>(wav.size()));
    Touch(dir / "plain.wav");

    lastFile = Q(dir / "m.wav");
    FrmST* st = Listen();
    QListWidget* list = st->MarkerList();
    ASSERT_EQ(list->count(), 2);
    EXPECT_FALSE(list->isHidden());
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("0:00  标记"));
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("0:01  丢失 120 ms"));
    st->Player()->pause();
    ASSERT_TRUE(QTest::qWaitFor([st] { return st->Player()->duration() == 2000; }, 5000));
    emit list->itemActivated(list->item(1));
    EXPECT_TRUE(QTest::qWaitFor([st] { return st->Player()->position() == 1500; }, 5000)) << st->Player()->position();

    lastFile = Q(dir / "plain.wav");
    Listen();
    EXPECT_EQ(list->count(), 0);
    EXPECT_TRUE(list->isHidden());
}

TEST_F(ListenBackFixture, emptyLastFileLeavesThePlayerEmpty)
{
    FrmST* st = Listen();
    EXPECT_TRUE(st->Player()->source().isEmpty());
    EXPECT_EQ(st->Player()->playbackState(), QMediaPlayer::StoppedState);
}

TEST_F(ListenBackFixture, openFolderShowsTheLastRecordingAndCloses)
{
    test::RecordingOpener desktop;
    Touch(dir / "a.wav");
    lastFile = Q(dir / "a.wav");
    Listen()->OpenFolderButton()->click();
    ASSERT_EQ(desktop.shown.size(), 1U);
    EXPECT_EQ(desktop.shown[0], QUrl::fromLocalFile(lastFile));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000));
    EXPECT_TRUE(fs::exists(dir / "a.wav"));
}

TEST_F(ListenBackFixture, closeButtonClosesWithoutTouchingTheFile)
{
    Touch(dir / "a.wav");
    lastFile = Q(dir / "a.wav");
    Listen()->CloseButton()->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 5000));
    EXPECT_TRUE(fs::exists(dir / "a.wav"));
}

}  // namespace
}  // namespace quillon
