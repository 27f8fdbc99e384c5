// The window records a played tone from the private sound server's monitor
// source, with the echo and the equalizer on.
#include <gtest/gtest.h>

#include <sndfile.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QTest>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <numbers>
#include <string>

#include "recording/RealPorts.h"
#include "tests/support/Programs.h"
#include "tests/support/TestSupport.h"
#include "ui/Form1.h"

namespace quillon {
namespace {

// Power of one frequency in a block (Goertzel).
double power(const std::vector<double>& x, double frequency, double rate)
{
    const double w = 2 * std::numbers::pi * frequency / rate;
    double s1 = 0;
    double s2 = 0;
    for (const double v : x) {
        const double s = v + 2 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return (s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2) / static_cast<double>(x.size() * x.size());
}

TEST(RecordPulse, WindowRecordsAPlayedToneThroughEchoAndEqualizer)
{
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER") || !test::haveProgram("paplay") || !test::haveProgram("sox")) {
        GTEST_SKIP() << "no private sound server (PULSE_SERVER unset) or no paplay/sox: scripts/test.sh starts one";
    }
    test::TempDir dir;
    const QString folder = QString::fromStdString(dir.path().string());
    const std::string tone = (dir / "tone.wav").string();
    // 1000 Hz at a quarter of full scale; the 100 ms echo lands on whole periods.
    ASSERT_EQ(test::runProgram({"sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "8", "sine", "1000",
                                "vol", "0.25"})
                  .exitCode,
              0);
    QProcess player;
    player.start(QStringLiteral("paplay"), {QString::fromStdString(tone)});
    ASSERT_TRUE(player.waitForStarted());
    QTest::qWait(500);

    test::RecordingMessageBoxes boxes;
    Form1 form(std::make_unique<RealPorts>(), folder);
    form.Form_Load();
    auto* devices = form.findChild<QComboBox*>(QStringLiteral("cboDev"));
    const int monitor = devices->findText(QStringLiteral("Monitor"), Qt::MatchContains);
    if (monitor < 0) {
        player.kill();
        GTEST_SKIP() << "the sound server has no monitor source";
    }
    devices->setCurrentIndex(monitor);
    form.cboDev_Click();
    form.findChild<QCheckBox*>(QStringLiteral("chkFX0"))->click();  // echo
    form.findChild<QCheckBox*>(QStringLiteral("chkFX3"))->click();  // equalizer
    const QString file = form.findChild<QLineEdit*>(QStringLiteral("txtFile"))->text();
    form.cmdDo_Click();
    // Three seconds of recorded audio; the server may take a moment to start.
    for (int waited = 0; form.recording().lngElapsedMs() < 3000 && waited < 15000; waited += 20) {
        QTest::qWait(20);
    }
    form.cmdDo_Click();
    player.kill();
    player.waitForFinished();
    ASSERT_TRUE(boxes.messages.empty()) << boxes.messages[0].text;

    SF_INFO info{};
    SNDFILE* wav = sf_open(file.toStdString().c_str(), SFM_READ, &info);
    ASSERT_NE(wav, nullptr) << sf_strerror(nullptr);
    std::vector<short> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_read_short(wav, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(wav);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.channels, 2);
    EXPECT_NEAR(static_cast<double>(info.frames) / 44100, 3.0, 0.3);

    // The second half: the echo has built up by then.
    std::vector<double> left;
    for (std::size_t i = samples.size() / 2; i + 1 < samples.size(); i += 2) {
        left.push_back(samples[i]);
    }
    ASSERT_GT(left.size(), 22050U);
    double energy = 0;
    for (const double v : left) {
        energy += v * v;
    }
    const double rms = std::sqrt(energy / static_cast<double>(left.size()));
    // The tone dominates its neighbours by far.
    EXPECT_GT(power(left, 1000, 44100), 1000 * power(left, 1500, 44100));
    // An echo with feedback 0.4 on whole periods raises the level towards
    // 1 / (1 - 0.4) of the played 0.25 * 32767 / sqrt(2) (the equalizer is flat).
    const double played = 0.25 * 32767 / std::sqrt(2.0);
    EXPECT_GT(rms / played, 1.3) << "rms " << rms;
    EXPECT_LT(rms / played, 1.9) << "rms " << rms;
}

// A sound server of this test's own, frozen with SIGSTOP mid-recording: the window
// goes on, its stop button ends the take within the bound with a valid file and says
// why, and once the server answers again the next take records.
TEST(RecordPulse, FrozenServer_neverHangsTheWindow_andItsStopSaysWhy)
{
    test::TempDir dir;
    const test::PrivatePulse pulse(dir / "pulse");
    if (!pulse.ok()) {
        GTEST_SKIP() << "no private PulseAudio server";
    }
    const pid_t pid = pulse.pid();
    ASSERT_GT(pid, 0);
    const QByteArray previous = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", QByteArray::fromStdString(pulse.server()));
    struct Restore {
        std::function<void()> undo;
        ~Restore() { undo(); }
    } restore{[&] {
        ::kill(pid, SIGCONT);
        qputenv("PULSE_SERVER", previous);
    }};

    test::RecordingMessageBoxes boxes;
    Form1 form(std::make_unique<RealPorts>(), QString::fromStdString(dir.path().string()));
    form.Form_Load();
    auto* devices = form.findChild<QComboBox*>(QStringLiteral("cboDev"));
    devices->setCurrentIndex(devices->findText(QStringLiteral("Monitor of Quillon-Null-Sink")));
    ASSERT_GE(devices->currentIndex(), 0);
    form.cboDev_Click();
    const QString file = form.findChild<QLineEdit*>(QStringLiteral("txtFile"))->text();
    form.cmdDo_Click();
    for (int waited = 0; form.recording().lngElapsedMs() < 1000 && waited < 10000; waited += 20) {
        QTest::qWait(20);
    }
    ASSERT_GE(form.recording().lngElapsedMs(), 1000);

    ::kill(pid, SIGSTOP);
    QElapsedTimer frozen;
    frozen.start();
    QTest::qWait(1000);
    // The window's own loop ran on time meanwhile: nothing waited on the server.
    EXPECT_LT(frozen.elapsed(), 1500);
    EXPECT_TRUE(form.engines().capture().IsRecording());
    QElapsedTimer stop;
    stop.start();
    form.cmdDo_Click();
    const auto took = stop.elapsed();
    std::cout << "[ measured ] stop with a frozen server: " << took << " ms\n";
    EXPECT_LE(took, 2500);
    EXPECT_FALSE(form.engines().capture().IsRecording());
    ASSERT_FALSE(boxes.messages.empty());
    EXPECT_NE(boxes.messages.back().text.find("声音服务器"), std::string::npos) << boxes.messages.back().text;
    SF_INFO info{};
    SNDFILE* wav = sf_open(file.toStdString().c_str(), SFM_READ, &info);
    ASSERT_NE(wav, nullptr) << sf_strerror(nullptr);
    sf_close(wav);
    EXPECT_GE(info.frames, 44100);

    // The server answers again: the list is back and the next take records.
    ::kill(pid, SIGCONT);
    boxes.messages.clear();
    for (int waited = 0; devices->findText(QStringLiteral("Monitor of Quillon-Null-Sink")) < 0 && waited < 10000;
         waited += 50) {
        QTest::qWait(50);
    }
    devices->setCurrentIndex(devices->findText(QStringLiteral("Monitor of Quillon-Null-Sink")));
    ASSERT_GE(devices->currentIndex(), 0);
    form.cboDev_Click();
    form.cmdDo_Click();
    for (int waited = 0; form.recording().lngElapsedMs() < 500 && waited < 10000; waited += 20) {
        QTest::qWait(20);
    }
    EXPECT_GE(form.recording().lngElapsedMs(), 500);
    form.cmdDo_Click();
    EXPECT_TRUE(boxes.messages.empty()) << boxes.messages[0].text;
}

// No server at start-up: the window says so, and the list fills once one appears,
// again after that server crashed and came back, without restarting the program.
TEST(RecordPulse, NoServerAtStart_isSaid_andTheListFillsWhenOneAppearsOrComesBack)
{
    test::TempDir dir;
    const std::string script = test::PrivatePulse::script();
    const std::string runtime = (dir / "pulse").string();
    const QByteArray previous = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", QByteArray::fromStdString("unix:" + runtime + "/pulse/native"));
    if (script.find("pipewire") == std::string::npos) {
        qputenv("PULSE_SERVER", QByteArray::fromStdString("unix:" + runtime + "/native"));
    }
    struct Restore {
        std::function<void()> undo;
        ~Restore() { undo(); }
    } restore{[&] {
        qputenv("PULSE_SERVER", previous);
        test::runProgram({script, "stop", runtime});
    }};

    test::RecordingMessageBoxes boxes;
    Form1 form(std::make_unique<RealPorts>(), QString::fromStdString(dir.path().string()));
    form.Form_Load();
    auto* devices = form.findChild<QComboBox*>(QStringLiteral("cboDev"));
    EXPECT_EQ(devices->count(), 0);
    ASSERT_FALSE(boxes.messages.empty());
    EXPECT_NE(boxes.messages[0].text.find("声音服务器无法连接"), std::string::npos) << boxes.messages[0].text;
    const auto listed = [&] {
        for (int waited = 0; waited < 8000; waited += 50) {
            if (devices->findText(QStringLiteral("Monitor of Quillon-Null-Sink")) >= 0) {
                return true;
            }
            QTest::qWait(50);
        }
        return false;
    };

    ASSERT_EQ(test::runProgram({script, "start", runtime}).exitCode, 0);
    QElapsedTimer appeared;
    appeared.start();
    EXPECT_TRUE(listed()) << "the list did not fill when the server appeared";
    std::cout << "[ measured ] the list filled " << appeared.elapsed() << " ms after the server appeared\n";

    pid_t pid = -1;
    std::ifstream(dir / "pulse" / "pulseaudio.pid") >> pid;
    ASSERT_GT(pid, 0);
    ::kill(pid, SIGKILL);
    for (int waited = 0; devices->count() > 0 && waited < 5000; waited += 50) {
        QTest::qWait(50);
    }
    EXPECT_EQ(devices->count(), 0) << "a crashed server's devices are still listed";
    test::runProgram({script, "stop", runtime});
    ASSERT_EQ(test::runProgram({script, "start", runtime}).exitCode, 0);
    appeared.restart();
    EXPECT_TRUE(listed()) << "the list did not fill when the server came back";
    std::cout << "[ measured ] and " << appeared.elapsed() << " ms after it came back\n";
}

}  // namespace
}  // namespace quillon
