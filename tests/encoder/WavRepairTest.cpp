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
#include "tests/support/WavBuilder.h"

namespace quillon {
namespace {

using test::Bytes;

std::uint32_t get32(const Bytes& b, std::size_t at)
{
    return getLE32(&b[at]);
}

// A header written correctly at close.
Bytes closedWav(std::size_t audioBytes)
{
    return test::wavBytes({.audio = test::patternBytes(audioBytes)});
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
    const Bytes list = {'L', 'I', 'S', 'T', 4, 0, 0, 0, 'I', 'N', 'F', 'O'};
    withList.insert(withList.end(), list.begin(), list.end());
    withList[4] = static_cast<std::uint8_t>(withList.size() - 8);
    EXPECT_EQ(plan(withList).verdict, WavVerdict::Intact);

    Bytes padded = test::wavBytes({.channels = 1, .blockAlign = 1, .audio = test::patternBytes(11)});
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
        const Bytes before =
            test::wavBytes({.riffSize = row.riff, .dataSize = row.data, .audio = test::patternBytes(row.audio)});
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
        const Bytes b = test::wavBytes(
            {.fmtSize = 21, .padFmt = pad, .riffSize = 0, .dataSize = 0, .audio = test::patternBytes(401)});
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

    const Bytes audio = test::patternBytes(100);
    EXPECT_EQ(plan(test::wavBytes({.blockAlign = 0, .riffSize = 0, .dataSize = 0, .audio = audio})).verdict,
              WavVerdict::Unrecoverable);
    EXPECT_EQ(plan(test::wavBytes({.fmtSize = 14, .riffSize = 0, .dataSize = 0, .audio = audio})).verdict,
              WavVerdict::Unrecoverable);

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

using test::cutRecording;
using test::writeFile;

TEST(WavRepairFile, repairsInPlaceOnceAndThenFindsItIntact)
{
    test::TempDir dir;
    const auto file = dir / "录音7.wav";
    writeFile(file, cutRecording(4 * 44100 + 2));
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
    const Bytes broken = cutRecording(1001);

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
    writeFile(dir / "录音1.wav", cutRecording(800));
    writeFile(dir / "录音2.wav", closedWav(800));
    writeFile(dir / "录音3.wav", "");  // the empty file prepared for the next recording
    writeFile(dir / "notes.txt", cutRecording(801));
    writeFile(dir / "odd.WAV",
              test::wavBytes({.blockAlign = 0, .riffSize = 0, .dataSize = 0, .audio = test::patternBytes(10)}));
    std::filesystem::create_directory(dir / "sub.wav");

    const FolderRepairReport report = repairWavFolder(dir.path());
    ASSERT_EQ(report.repaired.size(), 1u);
    EXPECT_EQ(report.repaired[0].filename(), "录音1.wav");
    ASSERT_EQ(report.unrecoverable.size(), 1u);
    EXPECT_EQ(report.unrecoverable[0].filename(), "odd.WAV");
    EXPECT_EQ(test::readFileBytes(dir / "notes.txt"), cutRecording(801));
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
    writeFile(file, cutRecording(44100 * 4 + 3));
    ASSERT_EQ(repairWavFile(file), WavRepairOutcome::Repaired);
    const auto result = test::runProgram({"soxi", "-s", file.string()});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output, "44100\n");
}

}  // namespace
}  // namespace quillon
