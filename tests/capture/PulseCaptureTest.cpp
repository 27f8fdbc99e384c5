// Against a running sound server (the private one of scripts/test.sh): a known
// tone is played into the null sink and recorded from its monitor.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "capture/WaveInRecorder.h"
#include "capture/pulse/PulseConnection.h"
#include "capture/pulse/PulseMixer.h"
#include "capture/pulse/PulseWaveIn.h"
#include "tests/capture/CaptureTestSupport.h"
#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

constexpr double kLeftHz = 1000.0;
constexpr double kRightHz = 1500.0;
constexpr double kAmplitude = 16384.0;

struct Got {
    std::vector<std::int16_t> samples;
    std::int32_t lngLen;
    std::size_t elements;
};

// Amplitude of the component at `hz` (Goertzel), for samples[offset + k * stride].
double toneAmplitude(const std::vector<std::int16_t>& samples, std::size_t offset, std::size_t stride, double rate,
                     double hz)
{
    const double w = 2.0 * std::numbers::pi * hz / rate;
    const double coeff = 2.0 * std::cos(w);
    double s1 = 0;
    double s2 = 0;
    std::size_t n = 0;
    for (std::size_t i = offset; i < samples.size(); i += stride, ++n) {
        const double s0 = samples[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(n);
}

// Record streams of this process on the server (other tests may have their own).
int ourSourceOutputs()
{
    const std::string listing = test::runProgram({"pactl", "list", "source-outputs"}).output;
    const std::string mark = "application.process.id = \"" + std::to_string(QCoreApplication::applicationPid()) + "\"";
    int count = 0;
    for (auto at = listing.find(mark); at != std::string::npos; at = listing.find(mark, at + 1)) {
        ++count;
    }
    return count;
}

bool onPipeWire()
{
    return test::runProgram({"pactl", "info"}).output.find("on PipeWire") != std::string::npos;
}

// Runs the UI thread's loop for `ms` milliseconds.
void pump(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
}

class PulseCaptureTest : public ::testing::Test {
public:
    // The null sink only takes a new record stream's latency after its current
    // block (up to 2 s when idle), so the first data comes late; a recording's
    // duration is therefore counted from its first buffer.
    bool waitForFirstBuffer()
    {
        for (int i = 0; i < 200 && got_.empty(); ++i) {
            pump(20);
        }
        return !got_.empty();
    }

protected:
    void SetUp() override
    {
        backend_ = pulseCaptureBackend();
        const std::string reason = backend_.waveIn->unavailableReason();
        if (!reason.empty()) {
            GTEST_SKIP() << "no PulseAudio server reachable (" << reason
                         << "); scripts/test.sh starts a private one and exports PULSE_SERVER";
        }
        // A sink of this test's own, so tests running at the same time cannot add to its sound.
        sink_ = "quillon_capture_" + std::to_string(QCoreApplication::applicationPid());
        const auto loaded = test::runProgram({"pactl", "load-module", "module-null-sink", "sink_name=" + sink_,
                                              "sink_properties=device.description=" + sink_});
        ASSERT_EQ(loaded.exitCode, 0) << loaded.output;
        module_ = loaded.output.substr(0, loaded.output.find_first_of("\r\n"));
        recorder_ = std::make_unique<WaveInRecorder>(backend_);
        QObject::connect(
            recorder_.get(), &WaveInRecorder::GotData, [this](std::span<std::int16_t> intBuffer, std::int32_t& lngLen) {
                got_.push_back(
                    {std::vector<std::int16_t>(intBuffer.begin(), intBuffer.end()), lngLen, intBuffer.size()});
                if (onData) {
                    onData();
                }
            });
    }

    void TearDown() override
    {
        recorder_.reset();
        if (player_) {
            player_->kill();
            player_->waitForFinished(3000);
        }
        if (!module_.empty()) {
            test::runProgram({"pactl", "unload-module", module_});
        }
    }

    // Selects the monitor of this test's sink.
    int selectOwnMonitor()
    {
        const int device = deviceNamed("Monitor of " + sink_);
        if (device >= 0 && !recorder_->SelectDevice(device)) {
            return -1;
        }
        return device;
    }

    // Plays the two tones (left 1000 Hz, right 1500 Hz) into `sink` for `seconds`.
    void playTone(const std::string& sink, int seconds)
    {
        const int rate = 44100;
        std::vector<std::int16_t> pcm(static_cast<std::size_t>(rate * seconds * 2));
        for (std::size_t i = 0; i < pcm.size() / 2; ++i) {
            const double t = static_cast<double>(i) / rate;
            pcm[2 * i] =
                static_cast<std::int16_t>(std::lround(kAmplitude * std::sin(2 * std::numbers::pi * kLeftHz * t)));
            pcm[2 * i + 1] =
                static_cast<std::int16_t>(std::lround(kAmplitude * std::sin(2 * std::numbers::pi * kRightHz * t)));
        }
        const auto file = dir_ / "tone.raw";
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size() * 2));
        player_ = std::make_unique<QProcess>();
        player_->start("pacat", {"--playback", "--raw", "--format=s16le", "--rate=44100", "--channels=2",
                                 QString::fromStdString("--device=" + sink), QString::fromStdString(file.string())});
        ASSERT_TRUE(player_->waitForStarted(3000));
        pump(400);  // let the player reach the sink
    }

    int deviceNamed(const std::string& name)
    {
        for (int i = 0; i < recorder_->DeviceCount(); ++i) {
            if (recorder_->DeviceName(i) == name) {
                return i;
            }
        }
        return -1;
    }

    std::string sink_;
    std::string module_;
    test::TempDir dir_;
    CaptureBackend backend_;
    std::unique_ptr<WaveInRecorder> recorder_;
    std::unique_ptr<QProcess> player_;
    std::vector<Got> got_;
    std::function<void()> onData;
};

TEST_F(PulseCaptureTest, TwoSecondsAt44100Stereo_deliverFullBuffersWithBothTonesAtTheirLevel)
{
    ASSERT_GE(selectOwnMonitor(), 0);
    playTone(sink_, 6);
    ASSERT_TRUE(recorder_->StartRecord(44100, 2));
    EXPECT_EQ(ourSourceOutputs(), 1);  // the check below can see a stream
    ASSERT_TRUE(waitForFirstBuffer());
    pump(2000);
    recorder_->StopRecord();

    // The first buffer and 2 s = 352800 bytes = 34.5 buffers of 10240 bytes.
    std::cout << "[ measured ] " << got_.size() << " buffers at 44100 Hz stereo\n";
    EXPECT_GE(got_.size(), 32U);
    EXPECT_LE(got_.size(), 37U);
    for (const Got& g : got_) {
        EXPECT_EQ(g.lngLen, 10240);
        EXPECT_EQ(g.elements, 5120U);
    }
    ASSERT_FALSE(got_.empty());
    const auto& last = got_.back().samples;
    EXPECT_NEAR(toneAmplitude(last, 0, 2, 44100, kLeftHz), kAmplitude, kAmplitude * 0.05);
    EXPECT_NEAR(toneAmplitude(last, 1, 2, 44100, kRightHz), kAmplitude, kAmplitude * 0.05);
    // Channels are not swapped or mixed.
    EXPECT_LT(toneAmplitude(last, 0, 2, 44100, kRightHz), kAmplitude * 0.02);
    EXPECT_LT(toneAmplitude(last, 1, 2, 44100, kLeftHz), kAmplitude * 0.02);
    EXPECT_EQ(recorder_->DroppedBytes(), 0U);
    EXPECT_EQ(ourSourceOutputs(), 0);
}

TEST_F(PulseCaptureTest, TwoSecondsAt8000Mono_deliverFullBuffersWithTheDownmixedTones)
{
    ASSERT_GE(selectOwnMonitor(), 0);
    playTone(sink_, 6);
    ASSERT_TRUE(recorder_->StartRecord(8000, 1));
    ASSERT_TRUE(waitForFirstBuffer());
    pump(2000);
    recorder_->StopRecord();

    // The first buffer and 2 s = 32000 bytes = 3.1 buffers of 640 ms.
    std::cout << "[ measured ] " << got_.size() << " buffers at 8000 Hz mono\n";
    EXPECT_GE(got_.size(), 3U);
    EXPECT_LE(got_.size(), 5U);
    for (const Got& g : got_) {
        EXPECT_EQ(g.lngLen, 10240);
        EXPECT_EQ(g.elements, 5120U);
    }
    ASSERT_FALSE(got_.empty());
    // The server mixes down: PulseAudio takes the mean of left and right (each tone at
    // half its level), PipeWire keeps the power (each at 1/sqrt(2)).
    const double mix = onPipeWire() ? 1 / std::numbers::sqrt2 : 0.5;
    const auto& last = got_.back().samples;
    EXPECT_NEAR(toneAmplitude(last, 0, 1, 8000, kLeftHz), kAmplitude * mix, kAmplitude * 0.05);
    EXPECT_NEAR(toneAmplitude(last, 0, 1, 8000, kRightHz), kAmplitude * mix, kAmplitude * 0.05);
    EXPECT_LT(toneAmplitude(last, 0, 1, 8000, 2500.0), kAmplitude * 0.02);
    EXPECT_EQ(ourSourceOutputs(), 0);
}

TEST_F(PulseCaptureTest, BusyUiThread_losesNoAudio)
{
    QElapsedTimer wall;
    bool slept = false;
    onData = [&] {
        if (!slept) {
            wall.start();
            slept = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        }
    };
    ASSERT_GE(selectOwnMonitor(), 0);
    ASSERT_TRUE(recorder_->StartRecord(44100, 2));
    ASSERT_TRUE(waitForFirstBuffer());
    pump(2500);
    recorder_->StopRecord();
    const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;

    std::uint64_t bytes = 0;
    for (const Got& g : got_) {
        bytes += static_cast<std::uint64_t>(g.lngLen);
    }
    // Counted from the first buffer's arrival, everything captured arrived, less
    // what was still in the last unfilled buffer and in transit (two buffers and 100 ms at most).
    const double expected = 10240 + seconds * 176400.0;
    std::cout << "[ measured ] " << bytes << " bytes in " << seconds << " s (wall time gives " << expected << ")\n";
    EXPECT_TRUE(slept);
    EXPECT_GE(static_cast<double>(bytes), expected - 2 * 10240 - 17640);
    EXPECT_LE(static_cast<double>(bytes), expected + 10240);
    EXPECT_EQ(recorder_->DroppedBytes(), 0U);
}

// Several buffers per hand-over, as quillon-cli asks: fewer arrivals, the same
// full buffers, and the tone runs on across every seam with no sample lost or doubled.
TEST_F(PulseCaptureTest, BatchedDelivery_handsOverSeveralFullBuffersAtOnceWithoutASeam)
{
    std::vector<std::chrono::steady_clock::time_point> arrivals;
    onData = [&] { arrivals.push_back(std::chrono::steady_clock::now()); };
    ASSERT_GE(selectOwnMonitor(), 0);
    playTone(sink_, 12);
    recorder_->DeliveryBuffers(4);
    ASSERT_TRUE(recorder_->StartRecord(44100, 2));
    ASSERT_TRUE(waitForFirstBuffer());
    pump(2500);
    recorder_->StopRecord();

    std::cout << "[ measured ] " << got_.size() << " buffers\n";
    ASSERT_GE(got_.size(), 20U);
    for (const Got& g : got_) {
        EXPECT_EQ(g.lngLen, 10240);
    }
    // Buffers that arrive within a few milliseconds of each other came in one hand-over.
    std::size_t handOvers = 1;
    for (std::size_t i = 1; i < arrivals.size(); ++i) {
        handOvers += arrivals[i] - arrivals[i - 1] > std::chrono::milliseconds(15) ? 1U : 0U;
    }
    std::cout << "[ measured ] " << handOvers << " hand-overs\n";
    EXPECT_LE(handOvers * 2, got_.size());

    // A sine obeys x[n+1] = 2 cos(w) x[n] - x[n-1]; a lost, doubled or reordered piece
    // breaks that by thousands. The first buffer may still hold the sink's start.
    std::vector<double> left;
    for (std::size_t b = 1; b < got_.size(); ++b) {
        for (std::size_t i = 0; i < got_[b].samples.size(); i += 2) {
            left.push_back(got_[b].samples[i]);
        }
    }
    const double c = 2.0 * std::cos(2.0 * std::numbers::pi * kLeftHz / 44100.0);
    double worst = 0.0;
    for (std::size_t n = 1; n + 1 < left.size(); ++n) {
        worst = std::max(worst, std::abs(left[n + 1] - c * left[n] + left[n - 1]));
    }
    EXPECT_LT(worst, 8.0) << "the tone breaks at a seam";
    EXPECT_GT(toneAmplitude(got_.back().samples, 0, 2, 44100, kLeftHz), kAmplitude * 0.95);
    EXPECT_EQ(recorder_->DroppedBytes(), 0U);
}

TEST_F(PulseCaptureTest, RemovedSource_isReportedAsALostDevice)
{
    ASSERT_GE(selectOwnMonitor(), 0);
    int lost = 0;
    QObject::connect(recorder_.get(), &WaveInRecorder::DeviceLost, [&] { ++lost; });
    ASSERT_TRUE(recorder_->StartRecord(44100, 2));
    pump(300);
    ASSERT_EQ(test::runProgram({"pactl", "unload-module", module_}).exitCode, 0);
    module_.clear();
    for (int i = 0; i < 100 && lost == 0; ++i) {
        pump(20);
    }
    EXPECT_EQ(lost, 1);
    // The stream was not moved to another source: no data comes any more.
    const std::size_t buffers = got_.size();
    pump(300);
    EXPECT_EQ(got_.size(), buffers);
    EXPECT_TRUE(recorder_->StopRecord());
    EXPECT_EQ(ourSourceOutputs(), 0);
}

// A source without ports has one line, named after it, whose volume is the source's own.
TEST_F(PulseCaptureTest, MonitorSource_hasOneLineWithTheSourcesOwnVolume)
{
    ASSERT_GE(selectOwnMonitor(), 0);
    const std::string monitor = sink_ + ".monitor";
    EXPECT_EQ(recorder_->MixerLineCount(), 1);
    EXPECT_EQ(recorder_->MixerLineName(0), "Monitor of " + sink_);
    EXPECT_TRUE(recorder_->SelectMixerLine(0));
    EXPECT_EQ(recorder_->SelectedMixerLine(), 0);
    EXPECT_EQ(recorder_->MixerLineVolume(), 65535);

    recorder_->MixerLineVolume(32768);
    const auto shown = test::runProgram({"pactl", "get-source-volume", monitor}).output;
    EXPECT_NE(shown.find("50%"), std::string::npos) << shown;
    EXPECT_EQ(recorder_->MixerLineVolume(), 32768);

    // A change made elsewhere shows on the next read.
    ASSERT_EQ(test::runProgram({"pactl", "set-source-volume", monitor, "16384"}).exitCode, 0);
    pump(200);
    EXPECT_EQ(recorder_->MixerLineVolume(), 16384);
    recorder_->MixerLineVolume(65535);
    const auto restored = test::runProgram({"pactl", "get-source-volume", monitor}).output;
    EXPECT_NE(restored.find("65536"), std::string::npos) << restored;
}

// The chosen source is recorded even after a source before it in the list went
// away; once the chosen one is gone too, the start fails and names it.
TEST_F(PulseCaptureTest, ChosenSource_isRecordedByName_andAGoneOneIsNamed)
{
    const std::string later = sink_ + "_later";
    const auto loaded = test::runProgram({"pactl", "load-module", "module-null-sink", "sink_name=" + later,
                                          "sink_properties=device.description=" + later});
    ASSERT_EQ(loaded.exitCode, 0) << loaded.output;
    std::string laterModule = loaded.output.substr(0, loaded.output.find_first_of("\r\n"));
    struct Unload {
        std::string& module;
        ~Unload()
        {
            if (!module.empty()) {
                test::runProgram({"pactl", "unload-module", module});
            }
        }
    } unload{laterModule};
    const int device = deviceNamed("Monitor of " + later);
    ASSERT_GE(device, 0);
    ASSERT_TRUE(recorder_->SelectDevice(device));
    ASSERT_EQ(test::runProgram({"pactl", "unload-module", module_}).exitCode, 0);
    module_.clear();

    playTone(later, 6);
    ASSERT_TRUE(recorder_->StartRecord(44100, 2));
    ASSERT_TRUE(waitForFirstBuffer());
    pump(600);
    recorder_->StopRecord();
    ASSERT_FALSE(got_.empty());
    EXPECT_NEAR(toneAmplitude(got_.back().samples, 0, 2, 44100, kLeftHz), kAmplitude, kAmplitude * 0.05)
        << "recorded from another source";

    ASSERT_EQ(test::runProgram({"pactl", "unload-module", laterModule}).exitCode, 0);
    laterModule.clear();
    pump(100);
    EXPECT_FALSE(recorder_->StartRecord(44100, 2));
    EXPECT_FALSE(recorder_->IsRecording());
    EXPECT_NE(recorder_->LastError().find("Monitor of " + later), std::string::npos) << recorder_->LastError();
}

// Two sources with one description are told apart in the list.
TEST_F(PulseCaptureTest, SourcesWithTheSameDescription_getDistinctNames)
{
    std::vector<std::string> modules;
    for (const char* suffix : {"_twin1", "_twin2"}) {
        const auto loaded = test::runProgram({"pactl", "load-module", "module-null-sink", "sink_name=" + sink_ + suffix,
                                              "sink_properties=device.description=" + sink_ + "_twin"});
        ASSERT_EQ(loaded.exitCode, 0) << loaded.output;
        modules.push_back(loaded.output.substr(0, loaded.output.find_first_of("\r\n")));
    }
    const std::string name = "Monitor of " + sink_ + "_twin";
    const int first = deviceNamed(name);
    const int second = deviceNamed(name + " (2)");
    for (const std::string& module : modules) {
        test::runProgram({"pactl", "unload-module", module});
    }
    EXPECT_GE(first, 0);
    EXPECT_GE(second, 0);
    EXPECT_NE(first, second);
}

// Reading and writing the volume asks the server once at most, not once per mixer call.
TEST_F(PulseCaptureTest, VolumeReadsAndWrites_costAtMostOneRoundTripEach)
{
    auto connection = std::make_shared<pulse::PulseConnection>();
    WaveInRecorder recorder(CaptureBackend{std::make_shared<pulse::PulseWaveIn>(connection),
                                           std::make_shared<pulse::PulseMixer>(connection)});
    int device = -1;
    for (int i = 0; i < recorder.DeviceCount(); ++i) {
        device = recorder.DeviceName(i) == "Monitor of " + sink_ ? i : device;
    }
    ASSERT_GE(device, 0);
    ASSERT_TRUE(recorder.SelectDevice(device));
    pump(100);
    const auto trips = [&] {
        const std::lock_guard lock(*connection);
        return connection->roundTrips();
    };
    const auto count = [&](const std::function<void()>& call) {
        const std::uint64_t before = trips();
        call();
        return trips() - before;
    };
    const auto read = count([&] { EXPECT_EQ(recorder.MixerLineVolume(), 65535); });
    const auto write = count([&] { recorder.MixerLineVolume(40000); });
    pump(100);  // the server's own report of the change comes in
    const auto readBack = count([&] { EXPECT_EQ(recorder.MixerLineVolume(), 40000); });
    std::cout << "[ measured ] round trips: volume read " << read << ", write " << write << ", read after it "
              << readBack << "\n";
    EXPECT_LE(read, 1U);
    EXPECT_LE(write, 1U);
    EXPECT_LE(readBack, 1U);
}

TEST(PulseCaptureCli, DevicesListsTheNullSinksMonitor_andFailsWithNoServer)
{
    const std::string cli = std::string(QUILLON_BINARY_DIR) + "/app/quillon-cli";
    const auto listed = test::runProgram({cli, "devices"});
    if (listed.exitCode == 1 && listed.output.find("cannot reach the sound server") != std::string::npos) {
        GTEST_SKIP() << "no PulseAudio server reachable: " << listed.output;
    }
    EXPECT_EQ(listed.exitCode, 0) << listed.output;
    EXPECT_NE(
        listed.output.find(": Monitor of Quillon-Null-Sink\n  line 0: Monitor of Quillon-Null-Sink *\n  volume: "),
        std::string::npos)
        << listed.output;

    const auto nowhere = test::runProgram({"env", "PULSE_SERVER=unix:/nonexistent/quillon-test", cli, "devices"});
    EXPECT_EQ(nowhere.exitCode, 1);
    EXPECT_NE(nowhere.output.find("quillon-cli devices: cannot reach the sound server"), std::string::npos)
        << nowhere.output;
}

}  // namespace
}  // namespace quillon
