// The window records through the real effects chain and encoder from the fake
// wave-input service, and the files are read back with libsndfile.
#include <gtest/gtest.h>

#include <sndfile.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLineEdit>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <numbers>
#include <thread>

#include "capture/CaptureBackend.h"
#include "capture/fake/FakeMixer.h"
#include "capture/fake/FakeWaveIn.h"
#include "recording/FileCounter.h"
#include "recording/RealPorts.h"
#include "tests/support/TestSupport.h"
#include "ui/Form1.h"

namespace quillon {
namespace {

struct WavInfo {
    bool ok = false;
    int rate = 0;
    int channels = 0;
    sf_count_t frames = 0;
    std::vector<short> samples;
};

WavInfo readWav(const QString& path)
{
    WavInfo info;
    SF_INFO sf{};
    SNDFILE* file = sf_open(path.toStdString().c_str(), SFM_READ, &sf);
    if (file == nullptr) {
        return info;
    }
    info.ok = true;
    info.rate = sf.samplerate;
    info.channels = sf.channels;
    info.frames = sf.frames;
    info.samples.resize(static_cast<std::size_t>(sf.frames * sf.channels));
    sf_read_short(file, info.samples.data(), static_cast<sf_count_t>(info.samples.size()));
    sf_close(file);
    return info;
}

std::vector<std::int16_t> tone(std::size_t frames, int channels, double frequency, int rate)
{
    std::vector<std::int16_t> out(frames * static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int16_t>(
            std::lround(8000.0 * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / rate)));
        for (int c = 0; c < channels; ++c) {
            out[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] = v;
        }
    }
    return out;
}

class RecordEndToEnd : public ::testing::Test {
protected:
    RecordEndToEnd()
    {
        waveIn->devices = {"Fake Microphone", "Fake Line"};
        mixer->devices = {FakeMixer::recordingDevice({"Microphone", "Line In"}),
                          FakeMixer::recordingDevice({"Line In"})};
        std::ofstream((folder + "/nu.ini").toStdString()) << "41\r\n";
        form = std::make_unique<Form1>(std::make_unique<RealPorts>(CaptureBackend{waveIn, mixer}), folder);
        form->Form_Load();
    }

    template <typename W>
    W* child(const char* name)
    {
        return form->findChild<W*>(QString::fromLatin1(name));
    }

    void chooseDevice(int index)
    {
        child<QComboBox>("cboDev")->setCurrentIndex(index);
        form->cboDev_Click();
    }

    void feed(const std::vector<std::int16_t>& samples, bool tick = true)
    {
        // A little at a time, letting the window handle each filled buffer: filled
        // buffers wait for the display's tick.
        const std::size_t chunk = 5120;
        for (std::size_t at = 0; at < samples.size(); at += chunk) {
            const auto n = std::min(chunk, samples.size() - at);
            waveIn->feed(std::span<const std::int16_t>(samples).subspan(at, n));
            QCoreApplication::sendPostedEvents();
            if (tick) {
                form->tmrVis_Timer();
            }
        }
    }

    test::TempDir dir;
    QString folder = QString::fromStdString(dir.path().string());
    test::RecordingMessageBoxes boxes;
    std::shared_ptr<FakeWaveIn> waveIn = std::make_shared<FakeWaveIn>();
    std::shared_ptr<FakeMixer> mixer = std::make_shared<FakeMixer>();
    std::unique_ptr<Form1> form;
};

TEST_F(RecordEndToEnd, StartAndStopWriteAValidWavAndPrepareTheNextNumber)
{
    chooseDevice(0);
    const QString first = child<QLineEdit>("txtFile")->text();
    EXPECT_EQ(first, AutoFileName(folder, 41));
    form->cmdDo_Click();
    ASSERT_TRUE(boxes.messages.empty()) << boxes.messages[0].text;
    feed(tone(44100, 2, 1000, 44100));  // one second
    form->cmdDo_Click();

    const WavInfo wav = readWav(first);
    ASSERT_TRUE(wav.ok);
    EXPECT_EQ(wav.rate, 44100);
    EXPECT_EQ(wav.channels, 2);
    // Whole buffers only: the partly filled last one is dropped at stop.
    EXPECT_EQ(wav.frames, (44100 * 4 / 10240) * 10240 / 4);
    EXPECT_EQ(wav.samples[200], tone(44100, 2, 1000, 44100)[200]);  // no effect switched on

    EXPECT_EQ(varLastFile(), first);
    EXPECT_EQ(intFileCounter(), 42);
    const QString next = child<QLineEdit>("txtFile")->text();
    EXPECT_EQ(next, AutoFileName(folder, 42));
    EXPECT_TRUE(QFileInfo::exists(next));
    EXPECT_EQ(QFileInfo(next).size(), 0);
    const auto ini = test::readFileBytes((folder + "/nu.ini").toStdString());
    EXPECT_EQ(std::string(ini.begin(), ini.end()), "42\r\n");
    EXPECT_TRUE(boxes.messages.empty());
}

TEST_F(RecordEndToEnd, BuffersWaitForTheTickYetWakeTheWindowWhenTicksStopAndAreKeptAtStop)
{
    chooseDevice(0);
    const QString file = child<QLineEdit>("txtFile")->text();
    form->cmdDo_Click();
    ASSERT_TRUE(boxes.messages.empty());
    const auto audio = tone(10240, 2, 1000, 44100);  // four capture buffers

    // Between ticks a filled buffer does not wake the window; the tick hands it over.
    feed(std::vector<std::int16_t>(audio.begin(), audio.begin() + 5120), false);
    EXPECT_EQ(form->recording().lngElapsedMs(), 0);
    form->tmrVis_Timer();
    EXPECT_EQ(form->recording().lngElapsedMs(), 58);

    // With no tick for longer than the latency, the next buffer wakes it, and the
    // one waiting before it goes first.
    feed(std::vector<std::int16_t>(audio.begin() + 5120, audio.begin() + 10240), false);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    feed(std::vector<std::int16_t>(audio.begin() + 10240, audio.begin() + 15360), false);
    EXPECT_EQ(form->recording().lngElapsedMs(), 174);

    // Pressing stop hands over what still waits before the device is closed.
    feed(std::vector<std::int16_t>(audio.begin() + 15360, audio.end()), false);
    form->cmdDo_Click();
    const WavInfo wav = readWav(file);
    ASSERT_TRUE(wav.ok);
    ASSERT_EQ(wav.frames, 10240);
    EXPECT_EQ(wav.samples, audio);
}

TEST_F(RecordEndToEnd, BuffersHandedOverInPairsAreDrawnOnePerTickHalfABufferApart)
{
    chooseDevice(0);
    const QString file = child<QLineEdit>("txtFile")->text();
    form->cmdDo_Click();
    ASSERT_TRUE(boxes.messages.empty());
    // The window asks the server for two buffers (2 x 10240 bytes) at a time.
    EXPECT_NE(std::find(waveIn->calls.begin(), waveIn->calls.end(), "delivery 20480"), waveIn->calls.end());
    const auto audio = tone(5 * 2560, 2, 1000, 44100);  // five capture buffers, then the first again
    const auto part = [&](std::size_t first, std::size_t count) {
        return std::vector<std::int16_t>(audio.begin() + static_cast<std::ptrdiff_t>(first * 5120),
                                         audio.begin() + static_cast<std::ptrdiff_t>((first + count) * 5120));
    };

    // A pair: the first tick takes one, a tick right after it none, a tick half a
    // buffer (29 ms) later the second; the scope shows each in turn.
    waveIn->feed(part(0, 2));
    form->tmrVis_Timer();
    EXPECT_EQ(form->recording().lngElapsedMs(), 58);
    const std::vector<std::int16_t> first(form->recording().intSamples().begin(), form->recording().intSamples().end());
    form->tmrVis_Timer();
    EXPECT_EQ(form->recording().lngElapsedMs(), 58);
    std::this_thread::sleep_for(std::chrono::milliseconds(35));
    form->tmrVis_Timer();
    EXPECT_EQ(form->recording().lngElapsedMs(), 116);
    EXPECT_NE(std::vector<std::int16_t>(form->recording().intSamples().begin(), form->recording().intSamples().end()),
              first);

    // Ticks with nothing to hand over still keep the next buffers from waking the
    // window, however long ago the last one was handed over.
    for (int i = 0; i < 5; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        form->tmrVis_Timer();
    }
    waveIn->feed(part(2, 1));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(form->recording().lngElapsedMs(), 116);
    form->tmrVis_Timer();
    EXPECT_EQ(form->recording().lngElapsedMs(), 174);

    // More than a pair waiting: the window fell behind and takes them all at once.
    waveIn->feed(part(3, 2));
    waveIn->feed(part(0, 1));
    form->tmrVis_Timer();
    EXPECT_EQ(form->recording().lngElapsedMs(), 348);

    form->cmdDo_Click();
    const WavInfo wav = readWav(file);
    ASSERT_TRUE(wav.ok);
    std::vector<std::int16_t> expected = audio;
    expected.insert(expected.end(), audio.begin(), audio.begin() + 5120);
    EXPECT_EQ(wav.samples, expected);
}

TEST_F(RecordEndToEnd, LowMonoRateLosesNothingToTheOneSecondEncoderBuffer)
{
    chooseDevice(0);
    child<QComboBox>("cboSamplerate")->setEditText(QStringLiteral("4000"));
    child<QCheckBox>("chkStereo")->setChecked(false);
    const QString file = child<QLineEdit>("txtFile")->text();
    form->cmdDo_Click();
    ASSERT_TRUE(boxes.messages.empty());
    const auto audio = tone(5120 * 3, 1, 300, 4000);  // three full 10240-byte buffers, 1.28 s each
    // A buffer is long enough here: the server hands each over on its own.
    EXPECT_TRUE(std::none_of(waveIn->calls.begin(), waveIn->calls.end(),
                             [](const std::string& call) { return call.starts_with("delivery"); }));
    feed(audio);
    form->cmdDo_Click();
    // The encoder's output format stays 44.1 kHz stereo, so the audio is
    // converted; all 3.84 s of it arrive, none is refused as too long a block.
    const WavInfo wav = readWav(file);
    ASSERT_TRUE(wav.ok);
    EXPECT_EQ(wav.rate, 44100);
    EXPECT_EQ(wav.frames, 5120 * 3 * 44100 / 4000);
    double energy = 0;
    for (const short s : wav.samples) {
        energy += static_cast<double>(s) * s;
    }
    const double rms = std::sqrt(energy / static_cast<double>(wav.samples.size()));
    EXPECT_NEAR(rms, 8000 / std::sqrt(2.0), 400);
}

TEST_F(RecordEndToEnd, ClosingWhileRecordingFinishesTheFile)
{
    chooseDevice(0);
    const QString file = child<QLineEdit>("txtFile")->text();
    form->cmdDo_Click();
    feed(tone(22050, 2, 440, 44100));
    form->close();
    const WavInfo wav = readWav(file);
    ASSERT_TRUE(wav.ok);
    EXPECT_GT(wav.frames, 0);
    EXPECT_TRUE(QFileInfo::exists(AutoFileName(folder, 42)));
    const auto ini = test::readFileBytes((folder + "/nu.ini").toStdString());
    EXPECT_EQ(std::string(ini.begin(), ini.end()), "42\r\n");
    EXPECT_FALSE(waveIn->isOpen());
    // The engines are gone: a late click or tick finds nothing to do.
    form->cmdDo_Click();
    form->tmrVis_Timer();
    EXPECT_FALSE(waveIn->isOpen());
    EXPECT_TRUE(boxes.messages.empty());
}

TEST_F(RecordEndToEnd, EffectSwitchesChangeTheRecordedSound)
{
    chooseDevice(0);
    child<QCheckBox>("chkFX2")->click();  // amplifier, +3 dB by default
    const QString file = child<QLineEdit>("txtFile")->text();
    form->cmdDo_Click();
    const auto audio = tone(10240, 2, 1000, 44100);
    feed(audio);
    form->cmdDo_Click();
    const WavInfo wav = readWav(file);
    ASSERT_TRUE(wav.ok);
    ASSERT_GT(wav.samples.size(), 4000U);
    double in = 0;
    double out = 0;
    for (std::size_t i = 0; i < 4000; ++i) {
        in += std::abs(audio[i]);
        out += std::abs(wav.samples[i]);
    }
    // +3 dB is a factor of 1.41 in amplitude.
    EXPECT_NEAR(out / in, std::pow(10.0, 3.0 / 20.0), 0.02);
}

}  // namespace
}  // namespace quillon
