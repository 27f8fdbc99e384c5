// The real capture engine on a private PulseAudio server, with the UI thread stalled
// long enough for the capture to run out of room and drop audio.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <thread>

#include "tests/robust/RobustSupport.h"
#include "tests/support/TestSupport.h"
#include "ui/recording/FileCounter.h"
#include "ui/recording/MakeEngines.h"
#include "ui/recording/RecordingControl.h"

namespace quillon {
namespace {

using test::Clock;
using namespace std::chrono_literals;

struct NoView final : RecordingView {
    void RecordingStarted() override {}
    void RecordingStopped(const QString&) override {}
};

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
    auto engines = MakeEngines();
    RecordingControl control(engines->capture(), engines->encoder(), engines->effects(), folder, view);
    engines->capture().OnGotData(
        [&control](std::span<const std::int16_t> samples, std::int32_t length) { control.GotData(samples, length); });
    const QString file = control.PrepareStartupFile();
    control.cmdDo_Click({file, QStringLiteral("44100"), true, true});
    ASSERT_TRUE(engines->capture().IsRecording()) << (boxes.messages.empty() ? "" : boxes.messages[0].text);

    const auto started = Clock::now();
    pumpEvents(1s);
    // Nothing runs on the UI thread: the capture ring and its backlog (5 s) fill, then audio is lost.
    std::this_thread::sleep_for(8s);
    // Long enough for the backlog to drain.
    pumpEvents(6s);
    const double wall = std::chrono::duration<double>(Clock::now() - started).count();
    const std::int32_t droppedMs = control.DroppedMs();
    const std::int32_t elapsedMs = control.lngElapsedMs();
    control.cmdDo_Click({});

    EXPECT_GT(droppedMs, 1000);
    EXPECT_LT(droppedMs, 4000);
    const auto bytes = test::readFileBytes(file.toStdString());
    ASSERT_GT(bytes.size(), 46U);
    const double recorded = static_cast<double>(bytes.size() - 46) / 176400.0;
    // The silence is in the file and in the time shown alike.
    EXPECT_NEAR(recorded, elapsedMs / 1000.0, 0.06);
    // A null sink's monitor hands its audio over in blocks of up to 2 s, so the file ends up
    // to that much before the wall clock; without the silence it would also lack the drop.
    EXPECT_GT(recorded, wall - 2.3) << "dropped " << droppedMs << " ms";
    EXPECT_LE(recorded, wall + 0.1);
    EXPECT_TRUE(boxes.messages.empty()) << boxes.messages[0].text;
}

}  // namespace
}  // namespace quillon
