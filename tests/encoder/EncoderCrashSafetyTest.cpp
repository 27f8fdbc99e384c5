#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "encoder/EncoderWAV.h"
#include "encoder/WavRepair.h"
#include "tests/encoder/EncoderTestSupport.h"
#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

using std::chrono::hours;
using std::chrono::milliseconds;
using test::parseHeader;
using test::readFileBytes;
using test::TempDir;

std::vector<std::uint8_t> audioOf(const std::vector<std::uint8_t>& file)
{
    const auto h = parseHeader(file);
    return {file.begin() + static_cast<std::ptrdiff_t>(h.audioOffset), file.end()};
}

void encodeAll(EncoderWAV& enc, const std::vector<std::uint8_t>& bytes, std::size_t block)
{
    for (std::size_t off = 0; off < bytes.size(); off += block) {
        std::int32_t used = 0;
        const auto count = static_cast<std::int32_t>(std::min(block, bytes.size() - off));
        ASSERT_EQ(enc.Encoder_Encode(bytes.data() + off, count, used), 0);
    }
}

TEST(EncoderCrashSafety, OpenFileCarriesARealHeaderForAnEmptyFileAtOnce)
{
    TempDir dir;
    EncoderWAV enc;
    ASSERT_EQ(enc.Encoder_EncoderInit(22050, 1, (dir / "a.wav").string()), 0);
    const auto file = readFileBytes(dir / "a.wav");
    ASSERT_EQ(file.size(), 46U);
    const auto h = parseHeader(file);
    EXPECT_EQ(h.riff, "RIFF");
    EXPECT_EQ(h.riffSize, 38U);
    EXPECT_EQ(h.format, MakePCMFormat(44100, 2, 16).bytes());  // the output format, as at close
    EXPECT_EQ(h.data, "data");
    EXPECT_EQ(h.dataSize, 0U);
    EXPECT_EQ(planWavRepair(MemoryByteSource(file)).verdict, WavVerdict::Intact);
}

TEST(EncoderCrashSafety, SizesFollowTheAudioAtTheIntervalAndNeverRunAhead)
{
    TempDir dir;
    const auto bytes = test::toBytes(test::randomSamples(5120 * 4, 3));

    EncoderWAV every;
    every.HeaderUpdateInterval(milliseconds(0));
    ASSERT_EQ(every.Encoder_EncoderInit(44100, 2, (dir / "every.wav").string()), 0);
    for (std::size_t off = 0; off < bytes.size(); off += 10240) {
        std::int32_t used = 0;
        ASSERT_EQ(every.Encoder_Encode(bytes.data() + off, 10240, used), 0);
        const auto file = readFileBytes(dir / "every.wav");
        const auto h = parseHeader(file);
        EXPECT_EQ(h.riffSize, file.size() - 8);
        EXPECT_EQ(h.dataSize, file.size() - 46);
        EXPECT_EQ(h.dataSize, off + 10240);
    }

    // Between updates the sizes stay where they were: they never claim unsynced audio.
    EncoderWAV rarely;
    rarely.HeaderUpdateInterval(hours(1));
    ASSERT_EQ(rarely.Encoder_EncoderInit(44100, 2, (dir / "rarely.wav").string()), 0);
    encodeAll(rarely, bytes, 10240);
    const auto file = readFileBytes(dir / "rarely.wav");
    EXPECT_EQ(file.size(), 46 + bytes.size());
    EXPECT_EQ(parseHeader(file).dataSize, 0U);
}

// The sync and the header update run beside the writer: the sizes catch up with no
// further call, and a reader never sees them claim audio that is not in the file.
TEST(EncoderCrashSafety, SizesCatchUpInTheBackgroundAndNeverRunAhead)
{
    TempDir dir;
    const auto path = dir / "background.wav";
    const auto bytes = test::toBytes(test::randomSamples(5120 * 4, 9));
    EncoderWAV enc;
    enc.HeaderUpdateInterval(milliseconds(1));
    ASSERT_EQ(enc.Encoder_EncoderInit(44100, 2, path.string()), 0);
    for (std::size_t off = 0; off < bytes.size(); off += 10240) {
        std::this_thread::sleep_for(milliseconds(20));  // the interval has passed, the last update is done
        std::int32_t used = 0;
        ASSERT_EQ(enc.Encoder_Encode(bytes.data() + off, 10240, used), 0);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        bool caughtUp = false;
        while (!caughtUp && std::chrono::steady_clock::now() < deadline) {
            const auto file = readFileBytes(path);
            const auto h = parseHeader(file);
            ASSERT_EQ(file.size(), 46 + off + 10240);
            EXPECT_LE(h.dataSize, file.size() - 46);
            EXPECT_LE(h.riffSize, file.size() - 8);
            caughtUp = h.dataSize == off + 10240 && h.riffSize == file.size() - 8;
            if (!caughtUp) {
                std::this_thread::sleep_for(milliseconds(1));
            }
        }
        EXPECT_TRUE(caughtUp) << "sizes still behind after block at " << off;
    }
    EXPECT_EQ(enc.Encoder_EncoderClose(), 0);
    const auto file = readFileBytes(path);
    EXPECT_EQ(parseHeader(file).dataSize, bytes.size());
    EXPECT_EQ(audioOf(file), bytes);
}

TEST(EncoderCrashSafety, ProcessKilledMidRecordingLeavesAFileRepairToEveryWrittenFrame)
{
    TempDir dir;
    const auto path = dir / "cut.wav";
    const auto bytes = test::toBytes(test::randomSamples(5120 * 6, 5));
    const int code = test::runInChild([&] {
        EncoderWAV enc;
        enc.HeaderUpdateInterval(hours(1));
        if (enc.Encoder_EncoderInit(44100, 2, path.string()) != 0) {
            return 40;
        }
        std::int32_t used = 0;
        for (std::size_t off = 0; off < bytes.size(); off += 10240) {
            enc.Encoder_Encode(bytes.data() + off, 10240, used);
        }
        ::_exit(0);  // as a crash: no close, no destructor
    });
    ASSERT_EQ(code, 0);
    EXPECT_EQ(parseHeader(readFileBytes(path)).dataSize, 0U);
    ASSERT_EQ(repairWavFile(path), WavRepairOutcome::Repaired);
    const auto file = readFileBytes(path);
    EXPECT_EQ(parseHeader(file).dataSize, bytes.size());
    EXPECT_EQ(audioOf(file), bytes);
}

TEST(EncoderCrashSafety, TheOpenFileIsLockedAgainstRepairAndASecondRecorder)
{
    TempDir dir;
    const auto path = (dir / "a.wav").string();
    const std::vector<std::uint8_t> block(4000, 0x31);
    EncoderWAV first;
    first.HeaderUpdateInterval(hours(1));
    ASSERT_EQ(first.Encoder_EncoderInit(44100, 2, path), 0);
    encodeAll(first, block, 4000);

    EXPECT_EQ(repairWavFile(path), WavRepairOutcome::Busy);
    EncoderWAV second;
    EXPECT_EQ(second.Encoder_EncoderInit(44100, 2, path), 2);
    EXPECT_EQ(readFileBytes(path).size(), 46U + 4000) << "the refused recorder must not truncate it";

    ASSERT_EQ(first.Encoder_EncoderClose(), 0);
    EXPECT_EQ(repairWavFile(path), WavRepairOutcome::Intact);
}

// Splitting a recording into files must give, joined, exactly the audio of one file: the
// conversion stream and any partial frame carry over the seam.
TEST(EncoderNextFile, JoinedPiecesEqualOneUninterruptedFile)
{
    struct Row {
        const char* what;
        std::int32_t outRate;
        std::size_t block;
    };
    const Row rows[] = {{"same format, blocks splitting frames", 44100, 1002},
                        {"resampled to 22050, full buffers", 22050, 10240},
                        {"resampled to 48000, odd blocks", 48000, 3006}};
    const auto bytes = test::toBytes(test::randomSamples(5120 * 8, 9));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        EncoderWAV whole;
        whole.SetPCMFormat(row.outRate, 2, "", "");
        ASSERT_EQ(whole.Encoder_EncoderInit(44100, 2, (dir / "whole.wav").string()), 0);
        encodeAll(whole, bytes, row.block);
        whole.Encoder_EncoderClose();

        EncoderWAV split;
        split.SetPCMFormat(row.outRate, 2, "", "");
        ASSERT_EQ(split.Encoder_EncoderInit(44100, 2, (dir / "p0.wav").string()), 0);
        int pieces = 1;
        for (std::size_t off = 0; off < bytes.size(); off += row.block) {
            if (off > 0 && (off / row.block) % 3 == 0) {
                ASSERT_EQ(split.Encoder_NextFile((dir / ("p" + std::to_string(pieces++) + ".wav")).string()), 0);
            }
            std::int32_t used = 0;
            const auto count = static_cast<std::int32_t>(std::min(row.block, bytes.size() - off));
            ASSERT_EQ(split.Encoder_Encode(bytes.data() + off, count, used), 0);
        }
        split.Encoder_EncoderClose();

        std::vector<std::uint8_t> joined;
        for (int i = 0; i < pieces; ++i) {
            const auto file = readFileBytes(dir / ("p" + std::to_string(i) + ".wav"));
            const auto h = parseHeader(file);
            EXPECT_EQ(h.riffSize, file.size() - 8) << "piece " << i;
            EXPECT_EQ(h.dataSize, file.size() - 46) << "piece " << i;
            EXPECT_EQ(h.dataSize % 4, 0U) << "piece " << i;
            const auto audio = audioOf(file);
            joined.insert(joined.end(), audio.begin(), audio.end());
        }
        EXPECT_GE(pieces, 3);
        EXPECT_EQ(joined, audioOf(readFileBytes(dir / "whole.wav")));
    }
}

TEST(EncoderNextFile, BoundOnOutputHoldsForEveryBlock)
{
    TempDir dir;
    const auto bytes = test::toBytes(test::randomSamples(44100 * 2, 21));
    for (const std::int32_t outRate : {8000, 44100, 96000}) {
        EncoderWAV enc;
        enc.SetPCMFormat(outRate, 2, "", "");
        ASSERT_EQ(enc.Encoder_EncoderInit(44100, 2, (dir / "b.wav").string()), 0);
        std::size_t off = 0;
        for (std::size_t step = 1; off < bytes.size(); step = step * 5 % 9973 + 2) {
            const auto count = static_cast<std::int32_t>(std::min(step * 2, bytes.size() - off));
            const std::int64_t before = enc.Encoder_FileLength();
            const std::int64_t bound = enc.Encoder_MaxOutputBytes(count);
            std::int32_t used = 0;
            ASSERT_EQ(enc.Encoder_Encode(bytes.data() + off, count, used), 0);
            ASSERT_LE(enc.Encoder_FileLength() - before, bound) << "rate " << outRate << " block " << count;
            off += static_cast<std::size_t>(count);
        }
        enc.Encoder_EncoderClose();
    }
}

// Nothing changes when the next file cannot be created: the open file goes on, and a close
// finishes it as usual.
TEST(EncoderNextFile, UnwritableNextFile_leavesTheOpenFileGoingOnAndClosable)
{
    TempDir dir;
    EncoderWAV enc;
    ASSERT_EQ(enc.Encoder_EncoderInit(44100, 2, (dir / "a.wav").string()), 0);
    encodeAll(enc, std::vector<std::uint8_t>(800, 0x12), 800);
    EXPECT_EQ(enc.Encoder_NextFile((dir / "missing" / "b.wav").string()), 2);
    EXPECT_TRUE(enc.IsOpen());
    encodeAll(enc, std::vector<std::uint8_t>(400, 0x34), 400);
    EXPECT_EQ(enc.Encoder_EncoderClose(), 0);
    const auto file = readFileBytes(dir / "a.wav");
    EXPECT_EQ(parseHeader(file).dataSize, 1200U);
    EXPECT_EQ(file.back(), 0x34);
    EXPECT_EQ(enc.Encoder_NextFile((dir / "c.wav").string()), 2) << "nothing open";
}

}  // namespace
}  // namespace quillon
