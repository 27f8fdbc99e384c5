#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "common/WaveFormat.h"
#include "encoder/WavRepair.h"
#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}
void putId(Bytes& b, const char* id)
{
    b.insert(b.end(), id, id + 4);
}
std::uint32_t get32(const Bytes& b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// The writer's layout: RIFF, fmt (18 bytes + extra, no pad), data, audio.
struct WavSpec {
    std::uint16_t channels = 2;
    std::uint16_t blockAlign = 4;
    std::uint16_t fmtSize = 18;
    std::uint32_t riffSize = 0;
    std::uint32_t dataSize = 0;
    std::size_t audioBytes = 0;
    bool padFmt = false;
};

Bytes makeWav(const WavSpec& s)
{
    Bytes b;
    putId(b, "RIFF");
    put32(b, s.riffSize);
    putId(b, "WAVE");
    putId(b, "fmt ");
    put32(b, s.fmtSize);
    WaveFormatEx f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = s.channels;
    f.nSamplesPerSec = 44100;
    f.nAvgBytesPerSec = 44100u * s.blockAlign;
    f.nBlockAlign = s.blockAlign;
    f.wBitsPerSample = 16;
    f.cbSize = static_cast<std::uint16_t>(s.fmtSize > kWaveFormatExSize ? s.fmtSize - kWaveFormatExSize : 0);
    const auto record = f.bytes();
    b.insert(b.end(), record.begin(), record.end());
    b.resize(20 + s.fmtSize, 0x5a);
    if (s.padFmt && s.fmtSize % 2 != 0) {
        b.push_back(0);
    }
    putId(b, "data");
    put32(b, s.dataSize);
    for (std::size_t i = 0; i < s.audioBytes; ++i) {
        b.push_back(static_cast<std::uint8_t>(i * 7 + 1));
    }
    return b;
}

// A header written correctly at close.
Bytes closedWav(std::size_t audioBytes)
{
    WavSpec s;
    s.audioBytes = audioBytes;
    s.dataSize = static_cast<std::uint32_t>(audioBytes);
    s.riffSize = static_cast<std::uint32_t>(46 + audioBytes - 8);
    return makeWav(s);
}

WavRepairPlan plan(const Bytes& b)
{
    return planWavRepair(MemoryByteSource(b));
}

Bytes repaired(Bytes b)
{
    applyWavRepair(b, plan(b));
    return b;
}

TEST(WavRepairPlan, leavesCompleteFilesAlone)
{
    EXPECT_EQ(plan(closedWav(0)).verdict, WavVerdict::Intact);
    EXPECT_EQ(plan(closedWav(4000)).verdict, WavVerdict::Intact);

    // Chunks after the data, and an odd data chunk with its pad byte, are a proper file.
    Bytes withList = closedWav(400);
    putId(withList, "LIST");
    put32(withList, 4);
    putId(withList, "INFO");
    withList[4] = static_cast<std::uint8_t>(withList.size() - 8);
    EXPECT_EQ(plan(withList).verdict, WavVerdict::Intact);

    WavSpec odd;
    odd.channels = 1;
    odd.blockAlign = 1;
    odd.audioBytes = 11;
    odd.dataSize = 11;
    Bytes padded = makeWav(odd);
    padded.push_back(0);
    padded[4] = static_cast<std::uint8_t>(padded.size() - 8);
    EXPECT_EQ(plan(padded).verdict, WavVerdict::Intact);
}

TEST(WavRepairPlan, takesSizesFromTheLengthWhenTheHeaderIsBehind)
{
    struct Row {
        const char* what;
        std::uint32_t riff, data;
        std::size_t audio, expectedAudio;
    };
    const Row rows[] = {
        {"zero sizes of a freshly opened file", 0, 0, 8000, 8000},
        {"zero sizes, partial frame at the end", 0, 0, 8003, 8000},
        {"sizes of the last periodic update", 400 + 38, 400, 8002, 8000},
        {"sizes claiming more than is on disk", 0xffffffff, 0xffffffff, 4001, 4000},
        {"only a partial frame of audio", 0, 0, 3, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        WavSpec s;
        s.riffSize = row.riff;
        s.dataSize = row.data;
        s.audioBytes = row.audio;
        const Bytes before = makeWav(s);
        const WavRepairPlan p = plan(before);
        ASSERT_EQ(p.verdict, WavVerdict::Repairable);
        EXPECT_EQ(p.newLength, 46 + row.expectedAudio);
        const Bytes after = repaired(before);
        ASSERT_EQ(after.size(), 46 + row.expectedAudio);
        EXPECT_EQ(get32(after, 4), after.size() - 8);
        EXPECT_EQ(get32(after, 42), row.expectedAudio);
        // Apart from the two size fields, the kept bytes are the original ones.
        for (std::size_t i = 0; i < after.size(); ++i) {
            if ((i < 4 || i >= 8) && (i < 42 || i >= 46)) {
                ASSERT_EQ(after[i], before[i]) << "byte " << i;
            }
        }
        EXPECT_EQ(plan(after).verdict, WavVerdict::Intact);
    }
}

TEST(WavRepairPlan, fixesOnlyTheRiffSizeWhenTheChunksAreWhole)
{
    Bytes b = closedWav(1000);
    b[4] = 0;
    b[5] = 0;
    const WavRepairPlan p = plan(b);
    ASSERT_EQ(p.verdict, WavVerdict::Repairable);
    EXPECT_EQ(p.newLength, b.size());
    EXPECT_EQ(p.dataSize, 1000u);
    EXPECT_EQ(repaired(b), closedWav(1000));
}

TEST(WavRepairPlan, findsTheDataChunkAfterAnOddFormatChunkWithOrWithoutPad)
{
    for (const bool pad : {false, true}) {
        SCOPED_TRACE(pad ? "padded" : "unpadded");
        WavSpec s;
        s.fmtSize = 21;
        s.padFmt = pad;
        s.audioBytes = 401;
        const Bytes b = makeWav(s);
        const WavRepairPlan p = plan(b);
        ASSERT_EQ(p.verdict, WavVerdict::Repairable);
        const std::size_t dataStart = 20 + 21 + (pad ? 1 : 0) + 8;
        EXPECT_EQ(p.dataSizeOffset, dataStart - 4);
        EXPECT_EQ(p.newLength, dataStart + 400);
    }
}

TEST(WavRepairPlan, leavesFilesItCannotReadAlone)
{
    const Bytes text = {'h', 'e', 'l', 'l', 'o', '\n'};
    EXPECT_EQ(plan({}).verdict, WavVerdict::NotWav);
    EXPECT_EQ(plan(text).verdict, WavVerdict::NotWav);
    // The old zero placeholder carries no format: nothing to recover it from.
    Bytes zeros(46 + 4000, 0);
    EXPECT_EQ(plan(zeros).verdict, WavVerdict::NotWav);
    Bytes avi = closedWav(100);
    std::copy_n("AVI ", 4, avi.begin() + 8);
    EXPECT_EQ(plan(avi).verdict, WavVerdict::NotWav);

    WavSpec noAlign;
    noAlign.blockAlign = 0;
    noAlign.audioBytes = 100;
    EXPECT_EQ(plan(makeWav(noAlign)).verdict, WavVerdict::Unrecoverable);

    WavSpec shortFmt;
    shortFmt.fmtSize = 14;
    shortFmt.audioBytes = 100;
    EXPECT_EQ(plan(makeWav(shortFmt)).verdict, WavVerdict::Unrecoverable);

    Bytes noData = closedWav(0);
    noData.resize(40);
    EXPECT_EQ(plan(noData).verdict, WavVerdict::Unrecoverable);
}

// Whatever a crash or a stray write did to the sizes and the length, one repair
// gives a file that a second one leaves alone, never longer than before, and the
// audio it keeps is whole frames of the original bytes.
TEST(WavRepairPlan, isIdempotentAndNeverGrowsOverRandomDamage)
{
    std::mt19937 rng(20261207);
    const Bytes good = closedWav(6000);
    for (int round = 0; round < 3000; ++round) {
        Bytes b = good;
        b.resize(std::uniform_int_distribution<std::size_t>(0, good.size())(rng));
        const std::uint32_t pick = rng() % 4;
        if (b.size() >= 8 && pick != 0) {
            b[4 + rng() % 4] = static_cast<std::uint8_t>(rng());
        }
        if (b.size() >= 46 && pick >= 2) {
            b[42 + rng() % 4] = static_cast<std::uint8_t>(rng());
        }
        const Bytes after = repaired(b);
        ASSERT_LE(after.size(), b.size());
        const WavRepairPlan again = plan(after);
        ASSERT_NE(again.verdict, WavVerdict::Repairable) << "round " << round;
        if (plan(b).verdict == WavVerdict::Repairable && after.size() >= 46) {
            EXPECT_EQ((after.size() - 46) % 4, 0u);
            EXPECT_TRUE(std::equal(after.begin() + 46, after.end(), good.begin() + 46));
        }
    }
}

// ---- files on disk -------------------------------------------------------------

void writeFile(const std::filesystem::path& p, const Bytes& b)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

Bytes crashedWav(std::size_t audio)
{
    WavSpec s;
    s.audioBytes = audio;
    return makeWav(s);
}

TEST(WavRepairFile, repairsInPlaceOnceAndThenFindsItIntact)
{
    test::TempDir dir;
    const auto file = dir / "录音7.wav";
    writeFile(file, crashedWav(4 * 44100 + 2));
    EXPECT_EQ(repairWavFile(file), WavRepairOutcome::Repaired);
    const Bytes after = test::readFileBytes(file);
    EXPECT_EQ(after.size(), 46u + 4 * 44100);
    EXPECT_EQ(get32(after, 42), 4u * 44100);
    EXPECT_EQ(repairWavFile(file), WavRepairOutcome::Intact);
    EXPECT_EQ(test::readFileBytes(file), after);
}

TEST(WavRepairFile, leavesLockedNonWavAndLinkedFilesUntouched)
{
    test::TempDir dir;
    const Bytes broken = crashedWav(1001);

    // A recording in progress holds the lock on its file.
    const auto busy = dir / "busy.wav";
    writeFile(busy, broken);
    const int fd = ::open(busy.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_EQ(repairWavFile(busy), WavRepairOutcome::Busy);
    ::close(fd);
    EXPECT_EQ(test::readFileBytes(busy), broken);

    const auto text = dir / "notes.wav";
    writeFile(text, {'n', 'o', 't', 'e'});
    EXPECT_EQ(repairWavFile(text), WavRepairOutcome::NotWav);
    EXPECT_EQ(test::readFileBytes(text).size(), 4u);

    const auto target = dir / "target.bin";
    writeFile(target, broken);
    std::filesystem::create_symlink(target, dir / "link.wav");
    EXPECT_NE(repairWavFile(dir / "link.wav"), WavRepairOutcome::Repaired);
    EXPECT_EQ(test::readFileBytes(target), broken);
}

TEST(WavRepairFolder, reportsRepairedAndUnrecoverableWavFilesOnly)
{
    test::TempDir dir;
    writeFile(dir / "录音1.wav", crashedWav(800));
    writeFile(dir / "录音2.wav", closedWav(800));
    writeFile(dir / "录音3.wav", {});  // the empty file prepared for the next recording
    writeFile(dir / "notes.txt", crashedWav(801));
    WavSpec noAlign;
    noAlign.blockAlign = 0;
    noAlign.audioBytes = 10;
    writeFile(dir / "odd.WAV", makeWav(noAlign));
    std::filesystem::create_directory(dir / "sub.wav");

    const FolderRepairReport report = repairWavFolder(dir.path());
    ASSERT_EQ(report.repaired.size(), 1u);
    EXPECT_EQ(report.repaired[0].filename(), "录音1.wav");
    ASSERT_EQ(report.unrecoverable.size(), 1u);
    EXPECT_EQ(report.unrecoverable[0].filename(), "odd.WAV");
    EXPECT_EQ(test::readFileBytes(dir / "notes.txt"), crashedWav(801));
    EXPECT_TRUE(test::readFileBytes(dir / "录音3.wav").empty());

    const std::string message = recoveryMessage(report);
    EXPECT_NE(message.find("录音1.wav"), std::string::npos);
    EXPECT_NE(message.find("odd.WAV"), std::string::npos);
    EXPECT_EQ(message.find("录音2.wav"), std::string::npos);

    EXPECT_TRUE(repairWavFolder(dir.path()).repaired.empty());
    EXPECT_TRUE(repairWavFolder(dir / "missing").empty());
    EXPECT_TRUE(recoveryMessage({}).empty());
}

TEST(WavRepairFile, repairedFileOpensInRealReaders)
{
    if (!test::haveProgram("soxi")) {
        GTEST_SKIP() << "soxi not installed";
    }
    test::TempDir dir;
    const auto file = dir / "take.wav";
    writeFile(file, crashedWav(44100 * 4 + 3));
    ASSERT_EQ(repairWavFile(file), WavRepairOutcome::Repaired);
    const auto result = test::runProgram({"soxi", "-s", file.string()});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output, "44100\n");
}

}  // namespace
}  // namespace quillon
