// The real capture engine on a private PulseAudio server, with the UI thread stalled
// long enough for the capture to run out of room and drop audio.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <thread>
#include <vector>

#include "common/WaveFormat.h"
#include "recording/FileCounter.h"
#include "recording/RealPorts.h"
#include "recording/RecordingControl.h"
#include "tests/support/Programs.h"
#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

using test::Clock;
using namespace std::chrono_literals;

struct NoView final : RecordingView {
    void RecordingStarted() override {}
    void RecordingStopped(const QString&) override {}
};

// A stereo signal that names its own frames: frame k (from 1) holds k's low 15 bits on the
// left and the rest plus one on the right, so no frame is silence.
void writeNumberedFrames(const std::filesystem::path& file, std::uint32_t frames)
{
    std::vector<std::int16_t> samples;
    samples.reserve(std::size_t{frames} * 2);
    for (std::uint32_t k = 1; k <= frames; ++k) {
        samples.push_back(static_cast<std::int16_t>(k & 0x7FFF));
        samples.push_back(static_cast<std::int16_t>((k >> 15) + 1));
    }
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size() * 2));
}

void pumpEvents(std::chrono::milliseconds time)
{
    const auto end = Clock::now() + time;
    while (Clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
}

TEST(DropoutStall, AudioDroppedWhileTheUiThreadStallsComesBackAsSilenceAndIsShown)
{
    if (!test::haveProgram("pulseaudio")) {
        GTEST_SKIP() << "pulseaudio is not installed";
    }
    test::TempDir runtime;
    test::PrivatePulse pulse(runtime / "pulse");
    ASSERT_TRUE(pulse.ok());
    ::setenv("PULSE_SERVER", pulse.server().c_str(), 1);
    int argc = 1;
    char name[] = "dropout";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    const QString folder = QString::fromStdString((runtime / "home").string());
    test::RecordingMessageBoxes boxes;
    NoView view;
    auto engines = std::make_unique<RealPorts>();
    RecordingControl control(engines->capture(), engines->encoder(), engines->effects(), folder, view);
    engines->capture().OnGotData(
        [&control](std::span<const std::int16_t> samples, std::int32_t length) { control.GotData(samples, length); });
    const QString file = control.PrepareStartupFile();
    control.cmdDo_Click({file, QStringLiteral("44100"), true, true});
    ASSERT_TRUE(engines->capture().IsRecording()) << (boxes.messages.empty() ? "" : boxes.messages[0].text);

    // Numbered frames played into the null sink come back from its monitor unchanged (one
    // stream at full volume, no conversion), so the file shows where each one landed.
    const auto played = runtime / "numbered.raw";
    writeNumberedFrames(played, 44100 * 30);
    test::Spawned player({"/usr/bin/env", "pacat", "--raw", "--format=s16le", "--rate=44100", "--channels=2",
                          "--device=quillon_null", played.string()},
                         pulse.server(), runtime / "pacat.log");

    const auto started = Clock::now();
    pumpEvents(1s);
    // Nothing runs on the UI thread: the capture ring and its backlog (5 s) fill, then audio is lost.
    std::this_thread::sleep_for(8s);
    // Long enough for the backlog to drain.
    pumpEvents(6s);
    const double wall = std::chrono::duration<double>(Clock::now() - started).count();
    const std::int32_t droppedMs = control.DroppedMs();
    const std::uint64_t droppedBytes = engines->capture().DroppedBytes();
    const std::int32_t elapsedMs = control.lngElapsedMs();
    control.cmdDo_Click({});

    EXPECT_GT(droppedMs, 1000);
    EXPECT_LT(droppedMs, 4000);
    const auto bytes = test::readFileBytes(file.toStdString());
    ASSERT_GT(bytes.size(), 46U);
    // The audio is the data chunk; the dropout's marker follows it.
    const std::size_t audio = getLE32(&bytes[42]);
    ASSERT_LE(46 + audio, bytes.size());
    EXPECT_GT(bytes.size(), 46 + audio) << "the dropout is marked";
    const double recorded = static_cast<double>(audio) / 176400.0;
    // The silence is in the file and in the time shown alike.
    EXPECT_NEAR(recorded, elapsedMs / 1000.0, 0.06);
    // A null sink's monitor hands its audio over in blocks of up to 2 s, so the file ends up
    // to that much before the wall clock; without the silence it would also lack the drop.
    EXPECT_GT(recorded, wall - 2.3) << "dropped " << droppedMs << " ms";
    EXPECT_LE(recorded, wall + 0.1);
    EXPECT_TRUE(boxes.messages.empty()) << boxes.messages[0].text;

    // Every frame that arrived sits where its number says, counted from the first one: the
    // silence took exactly the place of the lost frames, and nothing was repeated.
    const std::size_t frames = audio / 4;
    std::optional<std::int64_t> offset;  // file position minus frame number
    std::int64_t worst = 0;
    std::size_t first = frames;
    std::size_t last = 0;
    std::size_t numbered = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const std::size_t at = 46 + i * 4;
        const auto left = static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
        const auto right = static_cast<std::uint16_t>(bytes[at + 2] | bytes[at + 3] << 8);
        if (left == 0 && right == 0) {
            continue;
        }
        const std::int64_t k = static_cast<std::int64_t>(right - 1) << 15 | left;
        const std::int64_t off = static_cast<std::int64_t>(i) - k;
        if (!offset) {
            offset = off;
        }
        worst = std::max(worst, std::abs(off - *offset));
        first = std::min(first, i);
        last = i;
        ++numbered;
    }
    ASSERT_TRUE(offset) << "the played frames never reached the file; see " << (runtime / "pacat.log");
    const std::size_t silentInside = last - first + 1 - numbered;
    std::cout << "[ measured ] " << droppedBytes / 4 << " frames dropped (" << droppedMs << " ms), " << silentInside
              << " silent frames among the played ones; largest misplacement " << worst << " frames ("
              << static_cast<double>(worst) * 1000.0 / 44100.0 << " ms)\n";
    EXPECT_EQ(worst, 0) << "frames moved in time";
    EXPECT_EQ(silentInside * 4, droppedBytes) << "the silence is as long as the loss";
}

}  // namespace
}  // namespace quillon
