#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "capture/WaveInRecorder.h"
#include "capture/fake/FakeMixer.h"
#include "capture/fake/FakeWaveIn.h"
#include "tests/capture/CaptureTestSupport.h"
#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

using Calls = std::vector<std::string>;

struct Delivery {
    std::size_t elements;
    std::int32_t lngLen;
    std::int16_t first;
};

std::vector<std::int16_t> counting(int from, std::size_t count)
{
    std::vector<std::int16_t> v(count);
    std::iota(v.begin(), v.end(), static_cast<std::int16_t>(from));
    return v;
}

class RecorderFakeTest : public ::testing::Test {
protected:
    RecorderFakeTest()
    {
        mixer->devices = {FakeMixer::recordingDevice({"Mic"}), FakeMixer::recordingDevice({"Line"})};
        waveIn->devices = {"Fake Microphone", "Fake Line In"};
        QObject::connect(
            &recorder, &WaveInRecorder::GotData, [this](std::span<std::int16_t> intBuffer, std::int32_t& lngLen) {
                got.push_back({intBuffer.size(), lngLen, intBuffer.empty() ? std::int16_t{0} : intBuffer[0]});
                if (onData) {
                    onData(intBuffer, lngLen);
                }
            });
    }

    Calls callsSince(std::size_t from) const
    {
        return Calls(waveIn->calls.begin() + static_cast<long>(from), waveIn->calls.end());
    }

    test::RecordingMessageBoxes boxes;
    test::RecordingEventLog log;
    std::shared_ptr<FakeWaveIn> waveIn = std::make_shared<FakeWaveIn>();
    std::shared_ptr<FakeMixer> mixer = std::make_shared<FakeMixer>();
    WaveInRecorder recorder{CaptureBackend{waveIn, mixer}};
    std::vector<Delivery> got;
    std::function<void(std::span<std::int16_t>, std::int32_t&)> onData;
};

TEST_F(RecorderFakeTest, StartRecord_opensTheDefaultInput_preparesStartsAndOnlyThenQueuesEveryBuffer)
{
    EXPECT_EQ(recorder.BufferCount(), 5);
    EXPECT_EQ(recorder.BufferSize(), 10240);
    ASSERT_TRUE(recorder.StartRecord(44100, 2));
    EXPECT_TRUE(recorder.IsRecording());
    EXPECT_EQ(waveIn->calls, (Calls{"open -1", "prepare 0", "prepare 1", "prepare 2", "prepare 3", "prepare 4", "start",
                                    "addBuffer 0", "addBuffer 1", "addBuffer 2", "addBuffer 3", "addBuffer 4"}));
    const WaveFormatEx& f = waveIn->lastFormat;
    EXPECT_EQ(f.wFormatTag, 1);
    EXPECT_EQ(f.nChannels, 2);
    EXPECT_EQ(f.nSamplesPerSec, 44100U);
    EXPECT_EQ(f.wBitsPerSample, 16);
    EXPECT_EQ(f.nBlockAlign, 4);
    EXPECT_EQ(f.nAvgBytesPerSec, 176400U);
    EXPECT_EQ(f.cbSize, 0);
    EXPECT_EQ(waveIn->lastCallback, recorder.NotifyWindow());
    EXPECT_EQ(MessageWindow::countWithCaption("WAVE_IN_WINDOW"), 1);
    EXPECT_EQ(waveIn->queuedBuffers(), 5U);

    // A second start is refused and touches nothing.
    const auto before = waveIn->calls.size();
    EXPECT_FALSE(recorder.StartRecord(8000, 1));
    EXPECT_EQ(waveIn->calls.size(), before);
    EXPECT_TRUE(recorder.IsRecording());
}

TEST_F(RecorderFakeTest, StartRecord_usesTheSelectedDevice)
{
    ASSERT_TRUE(recorder.SelectDevice(1));
    ASSERT_TRUE(recorder.StartRecord(8000, 1));
    EXPECT_EQ(waveIn->lastDevice, 1);
    EXPECT_EQ(waveIn->lastFormat.nAvgBytesPerSec, 16000U);
}

TEST_F(RecorderFakeTest, DeliveryBuffers_askTheDeviceForThatManyBuffersPerHandOver_beforeItStarts)
{
    auto deliveryCalls = [this] {
        Calls found;
        for (std::size_t i = 0; i < waveIn->calls.size(); ++i) {
            if (waveIn->calls[i].rfind("delivery", 0) == 0) {
                found.push_back(waveIn->calls[i]);
                EXPECT_EQ(waveIn->calls.at(i + 1), "start") << "asked for after the start";
            }
        }
        return found;
    };
    // The default hands each buffer over alone and asks for nothing.
    EXPECT_EQ(recorder.DeliveryBuffers(), 1);
    ASSERT_TRUE(recorder.StartRecord(44100, 2));
    EXPECT_EQ(deliveryCalls(), Calls{});
    recorder.StopRecord();

    waveIn->calls.clear();
    recorder.DeliveryBuffers(3);
    recorder.BufferSize(4096);
    ASSERT_TRUE(recorder.StartRecord(44100, 2));
    EXPECT_EQ(deliveryCalls(), Calls{"delivery 12288"});
    recorder.StopRecord();

    // Never all of the ring: one buffer stays free to fill while the others are handed over.
    waveIn->calls.clear();
    recorder.DeliveryBuffers(50);
    ASSERT_TRUE(recorder.StartRecord(44100, 2));
    EXPECT_EQ(deliveryCalls(), Calls{"delivery 16384"});
    // The buffers still arrive one GotData each, in order.
    const auto samples = counting(0, 2048 * 3);
    ASSERT_TRUE(waveIn->feed(samples));
    test::deliverPosted();
    ASSERT_EQ(got.size(), 3U);
    EXPECT_EQ(got[0].first, 0);
    EXPECT_EQ(got[1].first, 2048);
    EXPECT_EQ(got[2].first, 4096);
}

TEST_F(RecorderFakeTest, PrepareFailureAtSlotI_unpreparesTheEarlierSlotsAndClosesTheDevice)
{
    for (int i : {0, 2, 4}) {
        SCOPED_TRACE(i);
        waveIn->calls.clear();
        waveIn->failPrepareAt = i;
        EXPECT_FALSE(recorder.StartRecord(44100, 2));
        Calls expected{"open -1"};
        for (int j = 0; j <= i; ++j) {
            expected.push_back("prepare " + std::to_string(j));
        }
        for (int j = 0; j < i; ++j) {
            expected.push_back("unprepare " + std::to_string(j));
        }
        expected.emplace_back("close");
        EXPECT_EQ(waveIn->calls, expected);
        EXPECT_FALSE(recorder.IsRecording());
        EXPECT_FALSE(waveIn->isOpen());
        EXPECT_EQ(waveIn->preparedHeaders(), 0);
        EXPECT_EQ(MessageWindow::countWithCaption("WAVE_IN_WINDOW"), 0);
    }
    // Nothing is left behind: the next start works.
    waveIn->failPrepareAt = -1;
    EXPECT_TRUE(recorder.StartRecord(44100, 2));
}

TEST_F(RecorderFakeTest, OpenOrStartFailure_leavesTheRecorderIdleWithNoWindow)
{
    waveIn->failOpen = true;
    EXPECT_FALSE(recorder.StartRecord(44100, 2));
    EXPECT_EQ(waveIn->calls, Calls{"open -1"});
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_EQ(recorder.NotifyWindow(), 0U);
    EXPECT_EQ(MessageWindow::countWithCaption("WAVE_IN_WINDOW"), 0);

    waveIn->failOpen = false;
    waveIn->failStart = true;
    waveIn->calls.clear();
    EXPECT_FALSE(recorder.StartRecord(44100, 2));
    EXPECT_EQ(callsSince(6),
              (Calls{"start", "unprepare 0", "unprepare 1", "unprepare 2", "unprepare 3", "unprepare 4", "close"}));
    EXPECT_FALSE(waveIn->isOpen());
    EXPECT_EQ(MessageWindow::countWithCaption("WAVE_IN_WINDOW"), 0);
    EXPECT_TRUE(log.entries.empty());
}

TEST_F(RecorderFakeTest, FullBuffers_raiseGotDataInOrderWith10240BytesAnd5120Samples_atEveryFormat)
{
    for (auto [rate, channels] : {std::pair<std::int32_t, std::int16_t>{44100, 2}, {8000, 1}, {22050, 1}}) {
        SCOPED_TRACE(rate);
        got.clear();
        ASSERT_TRUE(recorder.StartRecord(rate, channels));
        ASSERT_TRUE(waveIn->feed(counting(0, 5120 * 3)));
        EXPECT_TRUE(got.empty());  // nothing before the UI thread's loop runs
        test::deliverPosted();
        ASSERT_EQ(got.size(), 3U);
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(got[i].elements, 5120U);
            EXPECT_EQ(got[i].lngLen, 10240);
            EXPECT_EQ(got[i].first, static_cast<std::int16_t>(5120 * i));
        }
        // Each slot went back to the device after its listener returned.
        EXPECT_EQ(waveIn->queuedBuffers(), 5U);
        recorder.StopRecord();
    }
}

TEST_F(RecorderFakeTest, ListenerChangesToLngLenAndSamples_doNotDisturbTheRecording)
{
    onData = [](std::span<std::int16_t> intBuffer, std::int32_t& lngLen) {
        lngLen = 3;
        intBuffer[0] = 999;
    };
    ASSERT_TRUE(recorder.StartRecord(44100, 2));
    waveIn->feed(counting(0, 5120 * 5));
    test::deliverPosted();
    waveIn->feed(counting(5120 * 5, 5120));
    test::deliverPosted();
    ASSERT_EQ(got.size(), 6U);
    EXPECT_EQ(got[5].lngLen, 10240);
    EXPECT_EQ(got[5].first, 5120 * 5);  // slot 0 again, refilled by the device
}

TEST_F(RecorderFakeTest, StopRecord_raisesNoGotDataForBuffersAlreadyPostedOrHandedBackByTheReset)
{
    ASSERT_TRUE(recorder.StartRecord(44100, 2));
    waveIn->feed(counting(0, 5120 * 2 + 100));  // two full, one partly filled
    EXPECT_TRUE(recorder.StopRecord());
    test::deliverPosted();
    EXPECT_TRUE(got.empty());
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_FALSE(waveIn->isOpen());
    EXPECT_EQ(waveIn->preparedHeaders(), 0);
    EXPECT_EQ(MessageWindow::countWithCaption("WAVE_IN_WINDOW"), 0);
    EXPECT_TRUE(log.entries.empty());
    EXPECT_TRUE(boxes.messages.empty());
}

TEST_F(RecorderFakeTest, StopRecordInsideGotData_closesCleanlyAndTheFailedRequeueIsIgnored)
{
    onData = [this](std::span<std::int16_t>, std::int32_t&) { EXPECT_TRUE(recorder.StopRecord()); };
    ASSERT_TRUE(recorder.StartRecord(44100, 2));
    const auto start = waveIn->calls.size();
    waveIn->feed(counting(0, 5120 * 3));
    test::deliverPosted();
    EXPECT_EQ(got.size(), 1U);
    EXPECT_EQ(callsSince(start), (Calls{"stop", "reset", "unprepare 0", "unprepare 1", "unprepare 2", "unprepare 3",
                                        "unprepare 4", "close", "addBuffer 0"}));
    EXPECT_FALSE(waveIn->isOpen());
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_EQ(MessageWindow::countWithCaption("WAVE_IN_WINDOW"), 0);
    EXPECT_TRUE(log.entries.empty());

    // And the recorder can record again afterwards.
    onData = nullptr;
    ASSERT_TRUE(recorder.StartRecord(44100, 2));
    waveIn->feed(counting(0, 5120));
    test::deliverPosted();
    EXPECT_EQ(got.size(), 2U);
}

TEST_F(RecorderFakeTest, RestartInsideGotData_keepsTheNewRingToTheNewDevice)
{
    bool restarted = false;
    onData = [&](std::span<std::int16_t>, std::int32_t&) {
        if (!restarted) {
            restarted = true;
            recorder.StopRecord();
            ASSERT_TRUE(recorder.StartRecord(8000, 1));
        }
    };
    ASSERT_TRUE(recorder.StartRecord(44100, 2));
    waveIn->feed(counting(0, 5120 * 2));
    test::deliverPosted();
    EXPECT_EQ(got.size(), 1U);
    EXPECT_EQ(waveIn->queuedBuffers(), 5U);  // the new ring only, no slot of the old one
    waveIn->feed(counting(7, 5120));
    test::deliverPosted();
    ASSERT_EQ(got.size(), 2U);
    EXPECT_EQ(got[1].first, 7);
}

TEST_F(RecorderFakeTest, StopRecordWhileIdle_returnsTrueAndTouchesNoDevice)
{
    EXPECT_TRUE(recorder.StopRecord());
    EXPECT_TRUE(waveIn->calls.empty());
    EXPECT_TRUE(log.entries.empty());
}

TEST_F(RecorderFakeTest, RepeatedRecordings_createOneWindowEachAndLeaveNoneBehind)
{
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(recorder.StartRecord(44100, 2));
        EXPECT_EQ(MessageWindow::countWithCaption("WAVE_IN_WINDOW"), 1);
        recorder.StopRecord();
        EXPECT_EQ(MessageWindow::countWithCaption("WAVE_IN_WINDOW"), 0);
    }
    EXPECT_TRUE(log.entries.empty());
}

TEST_F(RecorderFakeTest, UnknownHeaderAddresses_areIgnored)
{
    ASSERT_TRUE(recorder.StartRecord(44100, 2));
    WaveHeader stranger;
    stranger.dwBytesRecorded = 10240;
    recorder.BufferDone(0);
    recorder.BufferDone(reinterpret_cast<std::intptr_t>(&stranger));
    MessageWindow::sendMessage(recorder.NotifyWindow(), MM_WIM_DATA, 0, reinterpret_cast<std::intptr_t>(&stranger));
    EXPECT_TRUE(got.empty());
}

TEST_F(RecorderFakeTest, DataWithNoBufferQueued_isCountedAsDroppedUntilTheNextStart)
{
    ASSERT_TRUE(recorder.StartRecord(44100, 2));
    // The UI thread is busy: six buffers' worth arrive before it runs; five fit the ring.
    waveIn->feed(counting(0, 5120 * 6));
    EXPECT_EQ(recorder.DroppedBytes(), 10240U);
    test::deliverPosted();
    EXPECT_EQ(got.size(), 5U);
    recorder.StopRecord();
    EXPECT_EQ(recorder.DroppedBytes(), 10240U);
    ASSERT_TRUE(recorder.StartRecord(44100, 2));
    EXPECT_EQ(recorder.DroppedBytes(), 0U);
}

TEST_F(RecorderFakeTest, LostAudio_isSignalledInOrderBetweenTheBuffersAroundIt)
{
    waveIn->backlogBytes = 10240;
    std::vector<std::string> events;
    QObject::connect(&recorder, &WaveInRecorder::Dropout,
                     [&](std::uint64_t bytes) { events.push_back("lost " + std::to_string(bytes)); });
    onData = [&](std::span<std::int16_t> intBuffer, std::int32_t& lngLen) {
        events.push_back("data " + std::to_string(intBuffer[0]) + " " + std::to_string(lngLen));
    };
    ASSERT_TRUE(recorder.StartRecord(44100, 2));
    // The UI thread is busy: the ring (5 buffers) and the backlog (1 buffer) fill, then
    // 1.5 buffers are lost, then 2 more arrive into the space the ring frees later.
    waveIn->feed(counting(0, 5120 * 6));
    waveIn->feed(counting(5120 * 6, 7680));
    EXPECT_EQ(recorder.DroppedBytes(), 15360U);
    test::deliverPosted();
    // Audio goes on at sample 38400 (-27136 as a 16-bit value) right after the loss.
    waveIn->feed(counting(5120 * 6 + 7680, 5120 * 2));
    test::deliverPosted();
    const std::vector<std::string> expected = {"data 0 10240",     "data 5120 10240",   "data 10240 10240",
                                               "data 15360 10240", "data 20480 10240",  "data 25600 10240",
                                               "lost 15360",       "data -27136 10240", "data -22016 10240"};
    EXPECT_EQ(events, expected);
}

TEST_F(RecorderFakeTest, StopRecordWhileHearingOfLostAudio_endsTheDeliveries)
{
    std::uint64_t lost = 0;
    QObject::connect(&recorder, &WaveInRecorder::Dropout, [&](std::uint64_t bytes) {
        lost += bytes;
        recorder.StopRecord();
    });
    ASSERT_TRUE(recorder.StartRecord(44100, 2));
    waveIn->feed(counting(0, 5120 * 7));
    test::deliverPosted();
    ASSERT_EQ(got.size(), 5U);
    waveIn->feed(counting(0, 5120));
    test::deliverPosted();
    EXPECT_EQ(lost, 20480U);
    EXPECT_EQ(got.size(), 5U) << "no buffer after the stop";
    EXPECT_FALSE(recorder.IsRecording());
}

TEST_F(RecorderFakeTest, DataWaitingInTheBacklog_reachesGotDataInOrderWhenTheUiThreadCatchesUp)
{
    waveIn->backlogBytes = 4 * 10240;
    ASSERT_TRUE(recorder.StartRecord(44100, 2));
    waveIn->feed(counting(0, 5120 * 9));
    EXPECT_EQ(recorder.DroppedBytes(), 0U);
    for (int i = 0; i < 3; ++i) {
        test::deliverPosted();
    }
    ASSERT_EQ(got.size(), 9U);
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].first, static_cast<std::int16_t>(5120 * i));
    }
}

TEST_F(RecorderFakeTest, LostDevice_isSignalledWhileRecordingOnly)
{
    int lost = 0;
    QObject::connect(&recorder, &WaveInRecorder::DeviceLost, [&] { ++lost; });
    ASSERT_TRUE(recorder.StartRecord(44100, 2));
    waveIn->loseDevice();
    test::deliverPosted();
    EXPECT_EQ(lost, 1);
    EXPECT_TRUE(recorder.IsRecording());
    waveIn->loseDevice();
    recorder.StopRecord();
    test::deliverPosted();
    EXPECT_EQ(lost, 1);
}

TEST_F(RecorderFakeTest, OddBufferSize_getsAnArrayLargeEnoughForEveryByte)
{
    recorder.BufferSize(10241);
    ASSERT_TRUE(recorder.StartRecord(8000, 1));
    waveIn->feed(counting(0, 5121 * 2));
    test::deliverPosted();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0].elements, 5121U);
    EXPECT_EQ(got[0].lngLen, 10241);

    recorder.StopRecord();
    recorder.BufferCount(0);
    EXPECT_FALSE(recorder.StartRecord(8000, 1));
}

TEST_F(RecorderFakeTest, DeviceNamesAndCount_comeFromTheService)
{
    EXPECT_EQ(recorder.DeviceCount(), 2);
    EXPECT_EQ(recorder.DeviceName(1), "Fake Line In");
    EXPECT_EQ(recorder.DeviceName(2), "");
    waveIn->devices = {std::string("Cut\0off", 7)};
    EXPECT_EQ(recorder.DeviceName(0), "Cut");
}

TEST_F(RecorderFakeTest, SelectDeviceOutOfRange_keepsThePreviousSelectionAndMixer)
{
    ASSERT_TRUE(recorder.SelectDevice(1));
    EXPECT_FALSE(recorder.SelectDevice(-1));
    EXPECT_FALSE(recorder.SelectDevice(recorder.DeviceCount()));
    EXPECT_EQ(recorder.SelectedDevice(), 1);
    EXPECT_EQ(mixer->openDevices(), std::vector<int>{1});
    EXPECT_EQ(recorder.MixerLineName(0), "Line");
}

TEST_F(RecorderFakeTest, SelectingADeviceWithoutMixer_leavesNoDeviceSelectedAndNoMixerOpen)
{
    mixer->devices[1].canOpen = false;
    EXPECT_EQ(recorder.SelectedDevice(), -1);
    ASSERT_TRUE(recorder.SelectDevice(0));
    EXPECT_FALSE(recorder.SelectDevice(1));
    EXPECT_EQ(recorder.SelectedDevice(), -1);
    EXPECT_TRUE(mixer->openDevices().empty());
    EXPECT_EQ(recorder.MixerLineCount(), 0);
}

TEST_F(RecorderFakeTest, Destruction_stopsTheRecordingAndClosesTheMixer)
{
    auto local = std::make_unique<WaveInRecorder>(CaptureBackend{waveIn, mixer});
    ASSERT_TRUE(local->SelectDevice(0));
    ASSERT_TRUE(local->StartRecord(44100, 2));
    local.reset();
    EXPECT_FALSE(waveIn->isOpen());
    EXPECT_TRUE(mixer->openDevices().empty());
    EXPECT_EQ(MessageWindow::countWithCaption("WAVE_IN_WINDOW"), 0);
}

}  // namespace
}  // namespace quillon
