// quillon-cli recording a clipped tone on a sound server of the test's own, with a dropout
// (the server frozen) or a crash: the markers are read back by libsndfile, and sox, ffmpeg and
// libsndfile decode the same audio as from the file without them.
#include <sndfile.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/WaveFormat.h"
#include "encoder/WavMarkers.h"
#include "tests/support/Programs.h"
#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string readText(const fs::path& p)
{
    const auto b = test::readFileBytes(p);
    return {b.begin(), b.end()};
}

void writeBytes(const fs::path& p, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return getLE32(&b[at]);
}

// Half a second of a quiet tone, a fifth of a second at full scale, then the quiet tone.
void writeTone(const fs::path& p, int seconds)
{
    std::vector<std::uint8_t> bytes;
    const int frames = 44100 * seconds;
    for (int i = 0; i < frames; ++i) {
        const bool burst = i >= 22050 && i < 22050 + 8820;
        const int v = burst ? ((i / 50) % 2 != 0 ? 32767 : -32768)
                            : static_cast<int>(std::lround(8000 * std::sin(2 * M_PI * 440 * i / 44100.0)));
        for (int c = 0; c < 2; ++c) {
            bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
        }
    }
    writeBytes(p, bytes);
}

struct SndFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

std::vector<std::int16_t> sndfileAudio(const fs::path& file, std::uint32_t* cues = nullptr)
{
    SF_INFO info{};
    const std::unique_ptr<SNDFILE, SndFileCloser> f(sf_open(file.c_str(), SFM_READ, &info));
    EXPECT_TRUE(f) << file;
    if (!f) {
        return {};
    }
    std::vector<std::int16_t> audio(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_short(f.get(), audio.data(), info.frames);
    if (cues != nullptr) {
        *cues = 0;
        sf_command(f.get(), SFC_GET_CUE_COUNT, cues, sizeof *cues);
    }
    return audio;
}

// What a reader's decode of `file` gives, as raw bytes.
std::vector<std::uint8_t> decoded(const std::vector<std::string>& tool, const fs::path& out)
{
    const auto r = test::runProgram(tool);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output.find("rror"), std::string::npos) << r.output;
    return test::readFileBytes(out);
}

struct CliRow {
    const char* name;
    std::vector<std::string> format;
    bool crash;  // killed, then mended by quillon-cli repair
};

class MarkersCli : public ::testing::TestWithParam<CliRow> {
protected:
    void SetUp() override
    {
        for (const char* tool : {"pulseaudio", "pacat", "sox", "ffmpeg"}) {
            if (!test::haveProgram(tool)) {
                GTEST_SKIP() << tool << " is not installed";
            }
        }
        if (!pulse.ok()) {
            GTEST_SKIP() << "the private PulseAudio server did not start";
        }
    }
    test::TempDir runtime;
    test::PrivatePulse pulse{runtime / "pulse"};
};

TEST_P(MarkersCli, ClippingAndDropoutsAreMarked_readersGetTheSameAudio)
{
    const CliRow& row = GetParam();
    const fs::path take = runtime / "take.wav";
    const fs::path tone = runtime / "tone.raw";
    writeTone(tone, 20);
    std::vector<std::string> argv = {QUILLON_CLI, "record",      "--home",    (runtime / "home").string(),
                                     "--out",     take.string(), "--seconds", row.crash ? "30" : "9"};
    argv.insert(argv.end(), row.format.begin(), row.format.end());
    test::Spawned rec(argv, pulse.server(), runtime / "record.log");
    const auto until = test::Clock::now() + 10s;
    while (test::Clock::now() < until && (!fs::exists(take) || fs::file_size(take) < 20000)) {
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_GE(fs::file_size(take), 20000U) << readText(runtime / "record.log");
    test::Spawned player({"/usr/bin/env", "pacat", "--raw", "--format=s16le", "--rate=44100", "--channels=2",
                          "--device=quillon_null", tone.string()},
                         pulse.server(), runtime / "pacat.log");
    // The burst, and the half second that closes its run.
    std::this_thread::sleep_for(2500ms);
    if (row.crash) {
        std::this_thread::sleep_for(1500ms);  // past the next sync of the audio and the side file
        rec.kill(SIGKILL);
        rec.wait(5s);
        ASSERT_TRUE(fs::exists(MarkerSidePath(take)));
        const auto repair = test::runProgram({QUILLON_CLI, "repair", take.string()});
        EXPECT_EQ(repair.exitCode, 0) << repair.output;
        EXPECT_NE(repair.output.find("markers put back"), std::string::npos) << repair.output;
        EXPECT_FALSE(fs::exists(MarkerSidePath(take)));
    } else {
        // The server keeps two seconds for us: frozen for four, it drops the rest.
        ::kill(pulse.pid(), SIGSTOP);
        std::this_thread::sleep_for(4s);
        ::kill(pulse.pid(), SIGCONT);
        ASSERT_EQ(rec.wait(30s), 0) << readText(runtime / "record.log");
        EXPECT_NE(readText(runtime / "record.log").find(" markers ("), std::string::npos)
            << readText(runtime / "record.log");
    }

    const auto list = ReadWavMarkersFile(take);
    ASSERT_TRUE(list);
    std::cout << "[ measured ] " << row.name << ":";
    bool clipped = false;
    bool dropout = false;
    for (const WavMarker& m : list->markers) {
        std::cout << " " << m.frame << " '" << m.label << "'";
        clipped = clipped || m.label.rfind("削波 ", 0) == 0;
        dropout = dropout || m.label.rfind("丢失 ", 0) == 0;
    }
    std::cout << "\n";
    EXPECT_TRUE(clipped);
    EXPECT_EQ(dropout, !row.crash);

    // The file without its markers: cut at the data's end, RIFF size to match.
    auto bytes = test::readFileBytes(take);
    const std::size_t dataAt = 28 + le32(bytes, 16);
    const std::size_t dataEnd = dataAt + le32(bytes, dataAt - 4);
    ASSERT_LT(dataEnd, bytes.size());
    bytes.resize(dataEnd);
    bytes[4] = static_cast<std::uint8_t>(dataEnd - 8);
    bytes[5] = static_cast<std::uint8_t>((dataEnd - 8) >> 8);
    bytes[6] = static_cast<std::uint8_t>((dataEnd - 8) >> 16);
    bytes[7] = static_cast<std::uint8_t>((dataEnd - 8) >> 24);
    const fs::path plain = runtime / "plain.wav";
    writeBytes(plain, bytes);

    std::uint32_t cues = 0;
    const auto audio = sndfileAudio(take, &cues);
    EXPECT_EQ(cues, list->markers.size()) << "libsndfile reads them back";
    EXPECT_EQ(audio, sndfileAudio(plain));
    for (const char* name : {"take", "plain"}) {
        const fs::path in = runtime / (std::string(name) + ".wav");
        const fs::path ff = runtime / (std::string(name) + ".ff.raw");
        const fs::path sx = runtime / (std::string(name) + ".sox.raw");
        decoded({"ffmpeg", "-v", "error", "-y", "-i", in.string(), "-f", "s16le", ff.string()}, ff);
        decoded({"sox", in.string(), "-t", "raw", "-e", "signed", "-b", "16", sx.string()}, sx);
    }
    const auto ffTake = test::readFileBytes(runtime / "take.ff.raw");
    EXPECT_GT(ffTake.size(), 44100U * 4);
    EXPECT_EQ(ffTake, test::readFileBytes(runtime / "plain.ff.raw"));
    EXPECT_EQ(test::readFileBytes(runtime / "take.sox.raw"), test::readFileBytes(runtime / "plain.sox.raw"));
    EXPECT_EQ(ffTake.size(), audio.size() * 2) << "ffmpeg and libsndfile agree on the length";

    if (row.format.empty()) {
        // PCM: the first clipped run's marker sits on a full-scale sample.
        for (const WavMarker& m : list->markers) {
            if (m.label.rfind("削波 ", 0) == 0) {
                ASSERT_LT(2 * std::size_t{m.frame}, audio.size());
                const std::int16_t s = audio[2 * std::size_t{m.frame}];
                EXPECT_TRUE(s == 32767 || s == -32768) << s;
                break;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Takes, MarkersCli,
                         ::testing::Values(CliRow{"pcm", {}, false},
                                           CliRow{"ima_adpcm", {"--format", "ima-adpcm:44100:2"}, false},
                                           CliRow{"pcm_crashed_then_repaired", {}, true}),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace quillon
