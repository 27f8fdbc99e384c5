// Markers in the files the encoder writes: after the audio in every output format, read back
// by libsndfile, with the audio as it is without them; and what a crash leaves, repaired.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <filesystem>
#include <fstream>

#include "encoder/EncoderWAV.h"
#include "encoder/WavMarkers.h"
#include "encoder/WavRepair.h"
#include "encoder/acm/AcmPcm.h"
#include "encoder/codecs/CodecDrivers.h"
#include "encoder/codecs/FormatRecord.h"
#include "tests/encoder/EncoderTestSupport.h"
#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::readFileBytes;
using test::TempDir;

struct SndFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

struct Sndfile {
    std::vector<std::int16_t> audio;
    std::vector<std::uint32_t> cues;
    std::vector<std::string> names;
};

Sndfile readWithSndfile(const fs::path& file)
{
    Sndfile out;
    SF_INFO info{};
    const std::unique_ptr<SNDFILE, SndFileCloser> f(sf_open(file.c_str(), SFM_READ, &info));
    EXPECT_TRUE(f) << file << ": " << sf_strerror(nullptr);
    if (!f) {
        return out;
    }
    out.audio.resize(static_cast<std::size_t>(info.frames * info.channels));
    EXPECT_EQ(sf_readf_short(f.get(), out.audio.data(), info.frames), info.frames);
    std::uint32_t count = 0;
    if (sf_command(f.get(), SFC_GET_CUE_COUNT, &count, sizeof count) == SF_TRUE && count > 0) {
        SF_CUES cues{};
        EXPECT_EQ(sf_command(f.get(), SFC_GET_CUE, &cues, sizeof cues), SF_TRUE);
        for (std::uint32_t i = 0; i < cues.cue_count; ++i) {
            out.cues.push_back(static_cast<std::uint32_t>(cues.cue_points[i].sample_offset));
            out.names.emplace_back(cues.cue_points[i].name);
        }
    }
    return out;
}

std::vector<std::uint8_t> codec(std::uint16_t tag, std::uint32_t rate, std::uint16_t channels)
{
    return acm::acmCodecFormat(tag, rate, channels).value().format;
}

struct FormatRow {
    const char* name;
    std::vector<std::uint8_t> format;
    int rate;      // capture
    int channels;  // capture and file
    int outRate;
    // libsndfile rounds an odd data length up to even and then decodes one GSM block past
    // the audio: from nothing without markers, from the cue chunk with them. Not compared.
    std::size_t unreliableTail = 0;
};

std::vector<FormatRow> formatRows()
{
    return {
        {"pcm16", acm::acmPcmFormat(44100, 2, 16, false), 44100, 2, 44100},
        {"pcm16-resampled", acm::acmPcmFormat(22050, 1, 16, false), 44100, 1, 22050},
        {"pcm8-odd-data", acm::acmPcmFormat(8000, 1, 8, false), 8000, 1, 8000},
        {"alaw-odd-data", codec(WAVE_FORMAT_ALAW, 8000, 1), 8000, 1, 8000},
        {"ima-adpcm", codec(WAVE_FORMAT_IMA_ADPCM, 22050, 2), 22050, 2, 22050},
        {"ms-adpcm", codec(WAVE_FORMAT_ADPCM, 22050, 1), 22050, 1, 22050},
        {"gsm610", codec(WAVE_FORMAT_GSM610, 8000, 1), 8000, 1, 8000, 320},
    };
}

// Records a second and a bit of tone (an odd number of frames) in capture-sized blocks;
// markers at the start, in the middle and in the last block when `marked`.
void record(const fs::path& path, const FormatRow& row, bool marked, bool keepSideFile = false)
{
    EncoderWAV enc;
    enc.SetFormat(row.format.data(), static_cast<std::int32_t>(row.format.size()), "", "");
    ASSERT_EQ(enc.Encoder_EncoderInit(row.rate, static_cast<std::int16_t>(row.channels), path.string()), 0);
    const auto bytes = test::toBytes(test::sineSamples(440, 12000, row.rate, row.channels, row.rate + 1001));
    if (marked) {
        enc.Encoder_AddMarker(0, "start");
    }
    for (std::size_t off = 0; off < bytes.size(); off += 10240) {
        const auto len = static_cast<std::int32_t>(std::min<std::size_t>(10240, bytes.size() - off));
        if (marked && off == bytes.size() / 2 / 10240 * 10240) {
            enc.Encoder_AddMarker(row.rate / 2, "丢失 120 ms");
        }
        std::int32_t used = 0;
        ASSERT_EQ(enc.Encoder_Encode(bytes.data() + off, len, used), 0);
    }
    if (marked) {
        enc.Encoder_AddMarker(row.rate, "tab\there");
        EXPECT_TRUE(fs::exists(MarkerSidePath(path))) << "kept beside the take while recording";
    }
    if (keepSideFile) {
        fs::copy_file(MarkerSidePath(path), path.string() + ".kept");
    }
    ASSERT_EQ(enc.Encoder_EncoderClose(), 0);
}

class MarkedFormats : public ::testing::TestWithParam<FormatRow> {};

TEST_P(MarkedFormats, CuePointsAfterTheAudio_readersSeeTheSameAudio)
{
    const FormatRow& row = GetParam();
    TempDir dir;
    const fs::path plain = dir / "plain.wav";
    const fs::path marked = dir / "marked.wav";
    record(plain, row, false);
    record(marked, row, true);
    EXPECT_FALSE(fs::exists(MarkerSidePath(marked))) << "the side file goes at the stop";

    // Header, data offset and audio byte for byte as without markers; only the RIFF size grew.
    const auto a = readFileBytes(plain);
    const auto b = readFileBytes(marked);
    ASSERT_GT(b.size(), a.size());
    EXPECT_TRUE(std::equal(a.begin() + 8, a.end(), b.begin() + 8));
    EXPECT_EQ(getLE32(&b[4]), b.size() - 8);
    EXPECT_EQ(planWavRepair(MemoryByteSource(b)).verdict, WavVerdict::Intact);

    Sndfile withMarkers = readWithSndfile(marked);
    auto without = readWithSndfile(plain).audio;
    ASSERT_EQ(withMarkers.audio.size(), without.size());
    withMarkers.audio.resize(without.size() - row.unreliableTail);
    without.resize(withMarkers.audio.size());
    EXPECT_EQ(withMarkers.audio, without);
    const auto out = static_cast<std::uint32_t>(row.outRate);
    const std::vector<std::uint32_t> frames = {0, out / 2, out};
    EXPECT_EQ(withMarkers.cues, frames);

    const auto ours = ReadWavMarkers(MemoryByteSource(b));
    ASSERT_TRUE(ours);
    EXPECT_EQ(ours->sampleRate, out);
    const std::vector<WavMarker> expected = {{0, "start"}, {out / 2, "丢失 120 ms"}, {out, "tab here"}};
    EXPECT_EQ(ours->markers, expected);
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, MarkedFormats, ::testing::ValuesIn(formatRows()), [](const auto& p) {
    std::string name = p.param.name;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
});

TEST(WavMarkersContinued, EachFileOfAContinuedTakeHasItsOwn)
{
    TempDir dir;
    EncoderWAV enc;
    enc.SetPCMFormat(8000, 1, "", "");
    ASSERT_EQ(enc.Encoder_EncoderInit(8000, 1, (dir / "a.wav").string()), 0);
    const std::vector<std::uint8_t> block(16000, 0);
    std::int32_t used = 0;
    enc.Encoder_AddMarker(100, "first");
    ASSERT_EQ(enc.Encoder_Encode(block.data(), 16000, used), 0);
    ASSERT_EQ(enc.Encoder_NextFile((dir / "b.wav").string()), 0);
    EXPECT_FALSE(fs::exists(MarkerSidePath(dir / "a.wav")));
    enc.Encoder_AddMarker(200, "second");
    ASSERT_EQ(enc.Encoder_Encode(block.data(), 16000, used), 0);
    ASSERT_EQ(enc.Encoder_EncoderClose(), 0);
    EXPECT_EQ(readWithSndfile(dir / "a.wav").cues, std::vector<std::uint32_t>{100});
    EXPECT_EQ(readWithSndfile(dir / "b.wav").cues, std::vector<std::uint32_t>{200});
    EXPECT_EQ(readWithSndfile(dir / "b.wav").audio.size(), 8000U);
}

// What a crash leaves at each moment of a marked take, then the start-up repair.
struct CrashRow {
    const char* name;
    // From the finished file `done`, the side file's lines and the plain take `plain`, what the
    // crash left in `left` (the side file is written beside it by the test).
    std::vector<std::uint8_t> (*left)(const std::vector<std::uint8_t>& done, const std::vector<std::uint8_t>& plain);
    WavRepairOutcome outcome;
    std::size_t restored;
};

std::vector<std::uint8_t> whileRecording(const std::vector<std::uint8_t>& /*done*/,
                                         const std::vector<std::uint8_t>& plain)
{
    auto bytes = plain;
    std::fill_n(bytes.begin() + 4, 4, 0);   // sizes of an early refresh
    std::fill_n(bytes.begin() + 42, 4, 0);  // the default format's data size
    bytes.push_back(0x55);                  // a torn frame
    return bytes;
}
std::vector<std::uint8_t> beforeTheChunks(const std::vector<std::uint8_t>& /*done*/,
                                          const std::vector<std::uint8_t>& plain)
{
    return plain;
}
std::vector<std::uint8_t> inTheCueChunk(const std::vector<std::uint8_t>& done, const std::vector<std::uint8_t>& plain)
{
    auto bytes = done;
    bytes.resize(plain.size() + 30);
    return bytes;
}
std::vector<std::uint8_t> beforeTheSideFileWent(const std::vector<std::uint8_t>& done, const std::vector<std::uint8_t>&)
{
    return done;
}

class CrashedTake : public ::testing::TestWithParam<CrashRow> {};

TEST_P(CrashedTake, RepairPutsTheMarkersBackOnce)
{
    const CrashRow& row = GetParam();
    TempDir dir;
    const FormatRow format{"pcm16", acm::acmPcmFormat(44100, 2, 16, false), 44100, 2, 44100};
    record(dir / "plain.wav", format, false);
    record(dir / "done.wav", format, true, true);
    const auto plain = readFileBytes(dir / "plain.wav");
    const fs::path take = dir / "take.wav";
    {
        const auto bytes = row.left(readFileBytes(dir / "done.wav"), plain);
        std::ofstream(take, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    fs::copy_file(dir / "done.wav.kept", MarkerSidePath(take));

    WavRepairPlan plan;
    EXPECT_EQ(repairWavFile(take, &plan), row.outcome);
    EXPECT_EQ(plan.markersRestored, row.restored);
    EXPECT_FALSE(fs::exists(MarkerSidePath(take)));
    const Sndfile read = readWithSndfile(take);
    EXPECT_EQ(read.audio, readWithSndfile(dir / "plain.wav").audio);
    EXPECT_EQ(read.cues, (std::vector<std::uint32_t>{0, 22050, 44100}));
    EXPECT_EQ(planWavRepair(MemoryByteSource(readFileBytes(take))).verdict, WavVerdict::Intact);
    EXPECT_EQ(repairWavFile(take), WavRepairOutcome::Intact);
}

INSTANTIATE_TEST_SUITE_P(Moments, CrashedTake,
                         ::testing::Values(CrashRow{"whileRecording", &whileRecording, WavRepairOutcome::Repaired, 3},
                                           CrashRow{"beforeTheChunks", &beforeTheChunks, WavRepairOutcome::Repaired, 3},
                                           CrashRow{"inTheCueChunk", &inTheCueChunk, WavRepairOutcome::Repaired, 3},
                                           CrashRow{"beforeTheSideFileWent", &beforeTheSideFileWent,
                                                    WavRepairOutcome::Intact, 0}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(WavMarkerSideFile, TornAndForeignLinesAreSkipped)
{
    EXPECT_EQ(ParseMarkerSideFile("12\ta\nx\tb\n\tc\n7 d\n99\tlast"), (std::vector<WavMarker>{{12, "a"}}));
}

}  // namespace
}  // namespace quillon
