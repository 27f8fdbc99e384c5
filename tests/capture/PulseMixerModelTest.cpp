// The sound server's mixer model (sources, their ports with type and availability,
// one volume per source) under the recorder, against a fake holding the server's data.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "capture/VolumeMapping.h"
#include "capture/WaveInRecorder.h"
#include "capture/fake/FakeWaveIn.h"
#include "capture/pulse/PulseMixer.h"
#include "capture/pulse/SourceDirectory.h"

namespace quillon {
namespace {

using pulse::SourceInfo;
using pulse::SourcePort;

class FakeSources final : public pulse::SourceDirectory {
public:
    void lock() override {}
    void unlock() override {}
    const std::vector<SourceInfo>& shownSources() override { return sources; }
    bool source(const std::string& name, SourceInfo& info) override
    {
        for (const SourceInfo& s : sources) {
            if (s.name == name) {
                info = s;
                return true;
            }
        }
        return false;
    }
    bool setActivePort(const std::string& source, const std::string& port) override
    {
        switches.push_back(port);
        for (SourceInfo& s : sources) {
            if (s.name == source) {
                s.activePort = port;
                return true;
            }
        }
        return false;
    }
    bool setVolume(const std::string& source, const pa_cvolume& volume) override
    {
        for (SourceInfo& s : sources) {
            if (s.name == source) {
                s.volume = volume;
                return true;
            }
        }
        return false;
    }

    std::vector<SourceInfo> sources;
    std::vector<std::string> switches;
};

SourceInfo source(const std::string& name, const std::string& description, std::vector<SourcePort> ports,
                  const std::string& active)
{
    SourceInfo info;
    info.name = name;
    info.description = description;
    info.ports = std::move(ports);
    info.activePort = active;
    info.volume.channels = 2;
    info.volume.values[0] = info.volume.values[1] = 0x10000;
    return info;
}

class PulseMixerModel : public ::testing::Test {
protected:
    void SetUp() override
    {
        sources->sources = {
            source("alsa_input.analog", "Built-in Audio",
                   {{"analog-input-mic", "Microphone", PA_DEVICE_PORT_TYPE_MIC, PA_PORT_AVAILABLE_YES},
                    {"analog-input-linein", "Line In", PA_DEVICE_PORT_TYPE_LINE, PA_PORT_AVAILABLE_NO},
                    {"hdmi-input", "HDMI", PA_DEVICE_PORT_TYPE_HDMI, PA_PORT_AVAILABLE_UNKNOWN}},
                   "analog-input-mic"),
            source("alsa_output.analog.monitor", "Monitor of Built-in Audio", {}, ""),
        };
        waveIn->devices = {"Built-in Audio", "Monitor of Built-in Audio"};
        waveIn->ids = {"alsa_input.analog", "alsa_output.analog.monitor"};
    }

    std::shared_ptr<FakeSources> sources = std::make_shared<FakeSources>();
    std::shared_ptr<FakeWaveIn> waveIn = std::make_shared<FakeWaveIn>();
    WaveInRecorder recorder{CaptureBackend{waveIn, std::make_shared<pulse::PulseMixer>(sources)}};
};

TEST_F(PulseMixerModel, PortsAreLinesWithTheirTypeAndAvailability_andChoosingOneSwitchesThePort)
{
    ASSERT_TRUE(recorder.SelectDevice(0));
    ASSERT_EQ(recorder.MixerLineCount(), 3);
    struct Row {
        const char* name;
        std::int32_t type;
        bool unplugged;
    };
    const Row rows[] = {{"Microphone", MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, false},
                        {"Line In (未插入)", MIXERLINE_COMPONENTTYPE_SRC_LINE, true},
                        {"HDMI", MIXERLINE_COMPONENTTYPE_SRC_DIGITAL, false}};
    for (std::int32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(recorder.MixerLineName(i), rows[i].name);
        EXPECT_EQ(recorder.MixerLineType(i), rows[i].type);
        EXPECT_EQ(recorder.MixerLineUnplugged(i), rows[i].unplugged);
    }
    EXPECT_EQ(recorder.SelectedMixerLine(), 0);

    EXPECT_TRUE(recorder.SelectMixerLine(2));
    EXPECT_EQ(sources->sources[0].activePort, "hdmi-input");
    EXPECT_EQ(recorder.SelectedMixerLine(), 2);
    // An unplugged port is switched to when asked for, and the recorder says what it is.
    EXPECT_TRUE(recorder.SelectMixerLine(1));
    EXPECT_EQ(recorder.SelectedMixerLine(), 1);
    EXPECT_TRUE(recorder.MixerLineUnplugged(recorder.SelectedMixerLine()));
    // Choosing the line already active asks the server for nothing.
    sources->switches.clear();
    EXPECT_TRUE(recorder.SelectMixerLine(1));
    EXPECT_TRUE(sources->switches.empty());

    // One volume per source: every line shows and sets the same one.
    recorder.MixerLineVolume(32768);
    EXPECT_EQ(sources->sources[0].volume.values[0], mixerToServerVolume(32768));
    EXPECT_EQ(sources->sources[0].volume.values[1], mixerToServerVolume(32768));
    ASSERT_TRUE(recorder.SelectMixerLine(0));
    EXPECT_EQ(recorder.MixerLineVolume(), 32768);
}

TEST_F(PulseMixerModel, SourceWithoutPorts_hasOneLineNamedAfterIt_whoseVolumeIsTheSources)
{
    ASSERT_TRUE(recorder.SelectDevice(1));
    EXPECT_EQ(recorder.MixerLineCount(), 1);
    EXPECT_EQ(recorder.MixerLineName(0), "Monitor of Built-in Audio");
    EXPECT_EQ(recorder.MixerLineType(0), MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED);
    EXPECT_FALSE(recorder.MixerLineUnplugged(0));
    EXPECT_TRUE(recorder.SelectMixerLine(0));
    EXPECT_EQ(recorder.SelectedMixerLine(), 0);
    EXPECT_TRUE(sources->switches.empty());
    EXPECT_EQ(recorder.MixerLineVolume(), 65535);
    recorder.MixerLineVolume(16384);
    EXPECT_EQ(sources->sources[1].volume.values[0], mixerToServerVolume(16384));
    EXPECT_EQ(recorder.MixerLineVolume(), 16384);
}

}  // namespace
}  // namespace quillon
