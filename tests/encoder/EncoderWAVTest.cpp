#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "common/QuillonError.h"
#include "encoder/EncoderWAV.h"
#include "encoder/FormatChooser.h"
#include "tests/encoder/EncoderTestSupport.h"
#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

using test::parseHeader;
using test::readFileBytes;
using test::TempDir;

std::vector<std::uint8_t> defaultFormat()
{
    return MakePCMFormat(44100, 2, 16).bytes();
}

TEST(EncoderWAV, InitThenClose_writes46ByteFileWithEmptyData)
{
    TempDir dir;
    EncoderWAV enc;
    ASSERT_EQ(enc.Encoder_EncoderInit(44100, 2, (dir / "a.wav").string()), 0);
    EXPECT_EQ(enc.Encoder_EncoderClose(), 0);

    const auto file = readFileBytes(dir / "a.wav");
    ASSERT_EQ(file.size(), 46U);
    const auto h = parseHeader(file);
    EXPECT_EQ(h.riff, "RIFF");
    EXPECT_EQ(h.riffSize, 38U);
    EXPECT_EQ(h.wave, "WAVE");
    EXPECT_EQ(h.fmt, "fmt ");
    EXPECT_EQ(h.fmtSize, 18U);  // the fmt chunk carries cbSize
    EXPECT_EQ(h.format, defaultFormat());
    EXPECT_EQ(h.data, "data");
    EXPECT_EQ(h.dataSize, 0U);
}

TEST(EncoderWAV, Close_returns2WhenNothingOpen_andOnlyOnceAfterInit)
{
    TempDir dir;
    EncoderWAV enc;
    EXPECT_EQ(enc.Encoder_EncoderClose(), 2);
    ASSERT_EQ(enc.Encoder_EncoderInit(8000, 1, (dir / "a.wav").string()), 0);
    EXPECT_EQ(enc.Encoder_EncoderClose(), 0);
    EXPECT_EQ(enc.Encoder_EncoderClose(), 2);
    EXPECT_EQ(readFileBytes(dir / "a.wav").size(), 46U);
}

TEST(EncoderWAV, Encode_oneSecondFits_oneByteMoreReturns8AndWritesNothing)
{
    TempDir dir;
    EncoderWAV enc;
    ASSERT_EQ(enc.Encoder_EncoderInit(44100, 2, (dir / "a.wav").string()), 0);
    const std::vector<std::uint8_t> block(176401, 0x11);
    std::int32_t used = 12345;
    EXPECT_EQ(enc.Encoder_Encode(block.data(), 176401, used), 8);
    EXPECT_EQ(used, 12345);  // left as it was
    EXPECT_EQ(enc.Encoder_Encode(block.data(), 176400, used), 0);
    EXPECT_EQ(used, 176400);
    ASSERT_EQ(enc.Encoder_EncoderClose(), 0);
    const auto file = readFileBytes(dir / "a.wav");
    EXPECT_EQ(file.size(), 46U + 176400U);
    EXPECT_EQ(parseHeader(file).dataSize, 176400U);
}

TEST(EncoderWAV, Init_withRateOrChannelsBelowOne_returns7AndCreatesNoFile)
{
    TempDir dir;
    EncoderWAV enc;
    const std::pair<int, int> rows[] = {{44100, 0}, {0, 2}, {-8000, 1}, {44100, -1}};
    for (const auto& [rate, channels] : rows) {
        const auto path = dir / ("r" + std::to_string(rate) + "c" + std::to_string(channels) + ".wav");
        EXPECT_EQ(enc.Encoder_EncoderInit(rate, static_cast<std::int16_t>(channels), path.string()), 7);
        EXPECT_FALSE(std::filesystem::exists(path)) << path;
        EXPECT_FALSE(enc.IsOpen());
    }
    EXPECT_EQ(acm::acmOpenStreamCount(), 0);
}

TEST(EncoderWAV, Init_whenNoConversionExists_returns7AndCreatesNoFile)
{
    TempDir dir;
    EncoderWAV enc;
    // Three output channels, then an unknown compressed tag, then a capture rate the layer refuses.
    auto threeChannels = MakePCMFormat(44100, 3, 16).bytes();
    enc.SetFormat(threeChannels.data(), 18, "x", "PCM");
    EXPECT_EQ(enc.Encoder_EncoderInit(44100, 2, (dir / "a.wav").string()), 7);
    auto unknown = MakePCMFormat(44100, 2, 16);
    unknown.wFormatTag = 0x7A7A;
    const auto unknownBytes = unknown.bytes();
    enc.SetFormat(unknownBytes.data(), 18, "x", "?");
    EXPECT_EQ(enc.Encoder_EncoderInit(44100, 2, (dir / "a.wav").string()), 7);
    enc.SetPCMFormat(44100, 2, "", "");
    EXPECT_EQ(enc.Encoder_EncoderInit(44100, 3, (dir / "a.wav").string()), 7);
    EXPECT_EQ(enc.Encoder_EncoderInit(2'000'000'000, 2, (dir / "a.wav").string()), 7);
    EXPECT_FALSE(std::filesystem::exists(dir / "a.wav"));
    EXPECT_EQ(acm::acmOpenStreamCount(), 0);
}

TEST(EncoderWAV, WriteHeaderFalse_fileHoldsTheAudioAlone)
{
    TempDir dir;
    EncoderWAV enc;
    enc.WriteHeader(false);
    const auto samples = test::randomSamples(1000, 7);
    const auto bytes = test::toBytes(samples);
    ASSERT_EQ(enc.Encoder_EncoderInit(44100, 2, (dir / "a.wav").string()), 0);
    std::int32_t used = 0;
    ASSERT_EQ(enc.Encoder_Encode(bytes.data(), static_cast<std::int32_t>(bytes.size()), used), 0);
    ASSERT_EQ(enc.Encoder_EncoderClose(), 0);
    EXPECT_EQ(readFileBytes(dir / "a.wav"), bytes);
}

TEST(EncoderWAV, SecondInit_finishesTheFirstFileWithItsHeader)
{
    TempDir dir;
    EncoderWAV enc;
    enc.SetPCMFormat(22050, 1, "", "");
    ASSERT_EQ(enc.Encoder_EncoderInit(22050, 1, (dir / "a.wav").string()), 0);
    const std::vector<std::uint8_t> block(400, 0x22);
    std::int32_t used = 0;
    ASSERT_EQ(enc.Encoder_Encode(block.data(), 400, used), 0);
    ASSERT_EQ(enc.Encoder_EncoderInit(44100, 2, (dir / "b.wav").string()), 0);

    const auto first = readFileBytes(dir / "a.wav");  // read while b.wav is still open
    ASSERT_EQ(first.size(), 446U);
    const auto h = parseHeader(first);
    EXPECT_EQ(h.riff, "RIFF");
    EXPECT_EQ(h.riffSize, 438U);
    EXPECT_EQ(h.dataSize, 400U);
    EXPECT_EQ(enc.Encoder_EncoderMetrics(1), 176400);
    EXPECT_EQ(enc.Encoder_EncoderClose(), 0);
}

TEST(EncoderWAV, UnwritablePath_returns2AndLeavesNoStreamOpen)
{
    TempDir dir;
    EncoderWAV enc;
    EXPECT_EQ(enc.Encoder_EncoderInit(44100, 2, (dir / "missing" / "a.wav").string()), 2);
    EXPECT_EQ(acm::acmOpenStreamCount(), 0);
    EXPECT_FALSE(enc.IsOpen());
    EXPECT_EQ(enc.Encoder_EncoderMetrics(1), -1);
    EXPECT_NO_THROW(enc.WriteHeader(false));
    EXPECT_EQ(enc.Encoder_EncoderClose(), 2);
    std::int32_t used = 0;
    const std::vector<std::uint8_t> block(4, 0);
    EXPECT_EQ(enc.Encoder_Encode(block.data(), 4, used), 9);  // nothing to convert into
}

TEST(EncoderWAV, DeviceOutput_isWrittenWithoutTruncating)
{
    // A character device has no length to cut; writing to it must still work.
    EncoderWAV enc;
    ASSERT_EQ(enc.Encoder_EncoderInit(8000, 1, "/dev/null"), 0);
    const std::vector<std::uint8_t> block(160, 1);
    std::int32_t used = 0;
    EXPECT_EQ(enc.Encoder_Encode(block.data(), 160, used), 0);
    EXPECT_EQ(enc.Encoder_EncoderClose(), 0);
}

TEST(EncoderWAV, Metrics_reportCaptureFormatWhileOpen_minusOneWhenClosed)
{
    TempDir dir;
    EncoderWAV enc;
    EXPECT_EQ(enc.Encoder_EncoderMetrics(1), -1);
    EXPECT_EQ(enc.Encoder_EncoderMetrics(0), -1);
    EXPECT_EQ(enc.Encoder_EncoderMetrics(5), 0);
    ASSERT_EQ(enc.Encoder_EncoderInit(44100, 2, (dir / "a.wav").string()), 0);
    EXPECT_EQ(enc.Encoder_EncoderMetrics(1), 176400);
    EXPECT_EQ(enc.Encoder_EncoderMetrics(0), 4);
    EXPECT_EQ(enc.Encoder_EncoderMetrics(2), 0);
    enc.Encoder_EncoderClose();
    EXPECT_EQ(enc.Encoder_EncoderMetrics(1), -1);
    EXPECT_EQ(enc.Encoder_EncoderMetrics(0), -1);
}

TEST(EncoderWAV, WriteHeader_whileOpen_throws90AndKeepsTheFlag)
{
    TempDir dir;
    EncoderWAV enc;
    ASSERT_EQ(enc.Encoder_EncoderInit(44100, 2, (dir / "a.wav").string()), 0);
    try {
        enc.WriteHeader(false);
        FAIL() << "no error raised";
    } catch (const QuillonError& e) {
        EXPECT_EQ(e.number(), 90);
        EXPECT_STREQ(e.what(), "Encoder already running!");
    }
    EXPECT_TRUE(enc.WriteHeader());
    enc.Encoder_EncoderClose();
    EXPECT_EQ(parseHeader(readFileBytes(dir / "a.wav")).riff, "RIFF");
}

TEST(EncoderWAV, Encode_sameFormat_writesTheBlocksUnchanged)
{
    TempDir dir;
    EncoderWAV enc;
    const auto samples = test::randomSamples(5120 * 3, 11);
    const auto bytes = test::toBytes(samples);
    ASSERT_EQ(enc.Encoder_EncoderInit(44100, 2, (dir / "a.wav").string()), 0);
    for (std::size_t off = 0; off < bytes.size(); off += 10240) {
        std::int32_t used = 0;
        ASSERT_EQ(enc.Encoder_Encode(bytes.data() + off, 10240, used), 0);
        EXPECT_EQ(used, 10240);
    }
    enc.Encoder_EncoderClose();
    const auto file = readFileBytes(dir / "a.wav");
    ASSERT_EQ(file.size(), 46 + bytes.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), file.begin() + 46));
    EXPECT_EQ(parseHeader(file).dataSize, bytes.size());
}

TEST(EncoderWAV, Encode_blocksSplittingFrames_keepChannelsInStep)
{
    // 1001-byte blocks split a stereo frame every time; the leftover bytes must lead the next
    // block or left and right swap from then on.
    TempDir dir;
    EncoderWAV enc;
    enc.WriteHeader(false);
    enc.SetPCMFormat(48000, 2, "", "");
    const auto bytes = test::toBytes(test::randomSamples(4000, 3));
    ASSERT_EQ(enc.Encoder_EncoderInit(48000, 2, (dir / "a.raw").string()), 0);
    for (std::size_t off = 0; off < bytes.size(); off += 1001) {
        const auto len = static_cast<std::int32_t>(std::min<std::size_t>(1001, bytes.size() - off));
        std::int32_t used = 0;
        ASSERT_EQ(enc.Encoder_Encode(bytes.data() + off, len, used), 0);
        EXPECT_EQ(used % 4, 0);
    }
    enc.Encoder_EncoderClose();
    EXPECT_EQ(readFileBytes(dir / "a.raw"), bytes);
}

TEST(EncoderWAV, Encode_withoutReadableBlock_returns9AndDoesNotRepeatOldAudio)
{
    TempDir dir;
    EncoderWAV enc;
    const std::vector<std::uint8_t> block(400, 0x33);
    ASSERT_EQ(enc.Encoder_EncoderInit(44100, 2, (dir / "a.wav").string()), 0);
    std::int32_t used = -1;
    ASSERT_EQ(enc.Encoder_Encode(block.data(), 400, used), 0);
    EXPECT_EQ(enc.Encoder_Encode(nullptr, 400, used), 9);
    EXPECT_EQ(used, 0);
    EXPECT_EQ(enc.Encoder_Encode(block.data(), -4, used), 9);
    enc.Encoder_EncoderClose();
    EXPECT_EQ(parseHeader(readFileBytes(dir / "a.wav")).dataSize, 400U);
}

TEST(EncoderWAV, FormatChangedWhileOpen_headerStillDescribesTheAudio)
{
    TempDir dir;
    EncoderWAV enc;
    ASSERT_EQ(enc.Encoder_EncoderInit(44100, 2, (dir / "a.wav").string()), 0);
    const std::vector<std::uint8_t> block(400, 0x44);
    std::int32_t used = 0;
    ASSERT_EQ(enc.Encoder_Encode(block.data(), 400, used), 0);
    auto other = MakePCMFormat(8000, 1, 16);
    other.cbSize = 2;
    auto otherBytes = other.bytes();
    otherBytes.resize(20, 0);
    enc.SetFormat(otherBytes.data(), 20, "x", "y");
    enc.Encoder_EncoderClose();
    const auto file = readFileBytes(dir / "a.wav");
    const auto h = parseHeader(file);
    EXPECT_EQ(h.format, defaultFormat());
    EXPECT_EQ(h.dataSize, 400U);
    EXPECT_TRUE(std::all_of(file.begin() + 46, file.end(), [](std::uint8_t b) { return b == 0x44; }));
}

TEST(EncoderWAV, ShortWrite_returns10_fileStaysValidAndWholeFrames)
{
    // A real file-size limit in a child process: 46 header bytes, one 1000-byte block and
    // three bytes of the next one fit.
    TempDir dir;
    const auto path = (dir / "a.wav").string();
    const int code = test::runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{46 + 1000 + 3, 46 + 1000 + 3};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            return 50;
        }
        EncoderWAV enc;
        const std::vector<std::uint8_t> block(1000, 0x55);
        std::int32_t used = 0;
        if (enc.Encoder_EncoderInit(44100, 2, path) != 0) {
            return 51;
        }
        if (enc.Encoder_Encode(block.data(), 1000, used) != 0) {
            return 52;
        }
        if (enc.Encoder_Encode(block.data(), 1000, used) != 10) {
            return 53;
        }
        if (enc.Encoder_Encode(block.data(), 1000, used) != 10) {
            return 54;  // still open, still failing
        }
        return enc.Encoder_EncoderClose() == 0 ? 0 : 55;
    });
    ASSERT_EQ(code, 0);
    const auto file = readFileBytes(dir / "a.wav");
    ASSERT_EQ(file.size(), 1046U);  // the torn block was taken back
    const auto h = parseHeader(file);
    EXPECT_EQ(h.riffSize, 1038U);
    EXPECT_EQ(h.dataSize, 1000U);
    EXPECT_EQ(h.format, defaultFormat());
}

TEST(EncoderWAV, ShortWrite_afterSpaceReturns_laterBlocksAppendInStep)
{
    // The limit cuts the second block; the third block still goes out once it fits again
    // (here: the limit allows exactly two more frames after the first block).
    TempDir dir;
    const auto path = (dir / "a.raw").string();
    const int code = test::runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000 + 8, 1000 + 8};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        EncoderWAV enc;
        enc.WriteHeader(false);
        std::vector<std::uint8_t> block(1000, 0x66);
        std::int32_t used = 0;
        enc.Encoder_EncoderInit(44100, 2, path);
        const int a = enc.Encoder_Encode(block.data(), 1000, used);
        const int b = enc.Encoder_Encode(block.data(), 12, used);  // 3 frames, only 2 fit
        std::fill(block.begin(), block.end(), 0x77);
        const int c = enc.Encoder_Encode(block.data(), 8, used);  // 2 frames fit
        enc.Encoder_EncoderClose();
        return a == 0 && b == 10 && c == 0 ? 0 : 60;
    });
    ASSERT_EQ(code, 0);
    const auto file = readFileBytes(dir / "a.raw");
    ASSERT_EQ(file.size(), 1008U);
    EXPECT_EQ(file[999], 0x66);
    EXPECT_EQ(file[1000], 0x77);  // nothing of the failed block stayed behind
}

TEST(EncoderWAV, Close_drainsAResamplerThatHoldsMoreThanOneBuffer)
{
    // From 1 Hz to 8000 Hz one second of capture is 2 bytes, but the resampler's delay holds
    // tens of thousands of output frames; all of them must reach the file.
    TempDir dir;
    EncoderWAV enc;
    enc.SetPCMFormat(8000, 1, "", "");
    ASSERT_EQ(enc.Encoder_EncoderInit(1, 1, (dir / "a.wav").string()), 0);
    const auto bytes = test::toBytes(test::randomSamples(10, 9));
    for (std::size_t off = 0; off < bytes.size(); off += 2) {
        std::int32_t used = 0;
        ASSERT_EQ(enc.Encoder_Encode(bytes.data() + off, 2, used), 0);
    }
    enc.Encoder_EncoderClose();
    const auto h = parseHeader(readFileBytes(dir / "a.wav"));
    EXPECT_NEAR(static_cast<double>(h.dataSize), 10 * 8000 * 2, 2.0);
}

// --- Output format members -------------------------------------------------------------

TEST(EncoderWAVFormat, Creation_defaultsToPcm44100Stereo)
{
    const EncoderWAV enc;
    EXPECT_EQ(enc.FormatTag(), "PCM");
    EXPECT_EQ(enc.FormatID(), "44.1 kHz 16 Bit Stereo");
    EXPECT_EQ(enc.FormatTag() + " - " + enc.FormatID(), "PCM - 44.1 kHz 16 Bit Stereo");
    EXPECT_TRUE(std::ranges::equal(enc.OutputFormat(), defaultFormat()));
    EXPECT_EQ(enc.OutputFormatCapacity(), 131072U);
    EXPECT_TRUE(enc.WriteHeader());
    EXPECT_EQ(enc.Encoder_Description(), "Wave ACM Encoder");
    EXPECT_EQ(enc.Encoder_Extension(), "wav");
}

TEST(EncoderWAVFormat, SetPCMFormat_buildsDescriptionFromRateRoundedHalfEven)
{
    struct Row {
        int rate;
        int channels;
        const char* text;
    };
    // 22050 is 22.05 kHz exactly: halves to even give 22.0, shown as 22.
    const Row rows[] = {{22050, 1, "22 16 Bit mono"}, {44100, 2, "44.1 16 Bit stereo"}, {11025, 2, "11 16 Bit stereo"},
                        {8000, 1, "8 16 Bit mono"},   {22150, 1, "22.2 16 Bit mono"},   {96000, 3, "96 16 Bit mono"}};
    for (const auto& row : rows) {
        EncoderWAV enc;
        enc.SetPCMFormat(row.rate, static_cast<std::int16_t>(row.channels), "", "");
        EXPECT_EQ(enc.FormatID(), row.text) << row.rate;
        EXPECT_EQ(enc.FormatTag(), "PCM");
    }
    EncoderWAV enc;
    enc.SetPCMFormat(22050, 1, "", "");
    const auto f = WaveFormatEx::parse(enc.OutputFormat());
    ASSERT_EQ(enc.OutputFormat().size(), 18U);
    EXPECT_EQ(f->nSamplesPerSec, 22050U);
    EXPECT_EQ(f->nChannels, 1);
    EXPECT_EQ(f->nBlockAlign, 2);
    EXPECT_EQ(f->nAvgBytesPerSec, 44100U);
    enc.SetPCMFormat(8000, 1, "mine", "tag");
    EXPECT_EQ(enc.FormatID(), "mine");
    EXPECT_EQ(enc.FormatTag(), "tag");
}

TEST(EncoderWAVFormat, SetFormat_growsOnlyWhenNeeded_andIgnoresNullAddress)
{
    EncoderWAV enc;
    const std::vector<std::uint8_t> twenty(20, 0x5A);
    enc.SetFormat(twenty.data(), 20, "id", "tag");
    EXPECT_EQ(enc.OutputFormat().size(), 20U);
    EXPECT_EQ(enc.OutputFormatCapacity(), 131072U);
    enc.SetFormat(nullptr, 18, "other", "other");
    enc.SetFormat(twenty.data(), -1, "other", "other");
    EXPECT_EQ(enc.OutputFormat().size(), 20U);
    EXPECT_EQ(enc.FormatID(), "id");
    const std::vector<std::uint8_t> big(131080, 0x01);
    enc.SetFormat(big.data(), 131080, "big", "big");
    EXPECT_EQ(enc.OutputFormatCapacity(), 131080U);
    EXPECT_EQ(enc.OutputFormat().size(), 131080U);
}

class ScriptedChooser final : public FormatChooser {
public:
    ScriptedChooser() { setFormatChooser(this); }
    ~ScriptedChooser() override { setFormatChooser(nullptr); }
    ScriptedChooser(const ScriptedChooser&) = delete;
    ScriptedChooser& operator=(const ScriptedChooser&) = delete;

    std::optional<ChosenFormat> choose(std::span<const std::uint8_t> sourceFormat, void* owner,
                                       const std::string& title) override
    {
        seenSource.assign(sourceFormat.begin(), sourceFormat.end());
        seenOwner = owner;
        seenTitle = title;
        return answer;
    }

    std::optional<ChosenFormat> answer;
    std::vector<std::uint8_t> seenSource;
    void* seenOwner = nullptr;
    std::string seenTitle;
};

TEST(EncoderWAVFormat, SelectFormat_withoutChooser_returns11)
{
    EncoderWAV enc;
    EXPECT_EQ(enc.SelectFormat(44100, 2, nullptr, "t"), 11);
    EXPECT_EQ(enc.FormatID(), "44.1 kHz 16 Bit Stereo");
}

TEST(EncoderWAVFormat, SelectFormat_cancelled_returns11AndChangesNothing)
{
    ScriptedChooser chooser;
    EncoderWAV enc;
    int owner = 0;
    EXPECT_EQ(enc.SelectFormat(22050, 1, &owner, "选择声音输出格式"), 11);
    EXPECT_EQ(chooser.seenSource, MakePCMFormat(22050, 1, 16).bytes());
    EXPECT_EQ(chooser.seenOwner, &owner);
    EXPECT_EQ(chooser.seenTitle, "选择声音输出格式");
    EXPECT_EQ(enc.FormatTag(), "PCM");
    EXPECT_EQ(enc.FormatID(), "44.1 kHz 16 Bit Stereo");
    EXPECT_TRUE(std::ranges::equal(enc.OutputFormat(), defaultFormat()));
}

TEST(EncoderWAVFormat, SelectFormat_storesRecordWithItsExtraBytesAndTexts)
{
    ScriptedChooser chooser;
    EncoderWAV enc;
    chooser.answer = ChosenFormat{MakePCMFormat(8000, 1, 16).bytes(), "PCM", "8 kHz 16 Bit Mono"};
    ASSERT_EQ(enc.SelectFormat(44100, 2, nullptr, "t"), 0);
    EXPECT_EQ(enc.OutputFormat().size(), 18U);
    EXPECT_EQ(enc.FormatID(), "8 kHz 16 Bit Mono");

    // A compressed-style record with 32 extra bytes; texts are cut at their first NUL.
    auto wfx = MakePCMFormat(8000, 1, 4);
    wfx.wFormatTag = 0x11;
    wfx.cbSize = 32;
    auto bytes = wfx.bytes();
    for (int i = 0; i < 32; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(i + 1));
    }
    chooser.answer = ChosenFormat{bytes, std::string("IMA ADPCM\0junk", 14), std::string("8 kHz 4 Bit Mono\0x", 18)};
    ASSERT_EQ(enc.SelectFormat(44100, 2, nullptr, "t"), 0);
    EXPECT_EQ(enc.OutputFormat().size(), 50U);
    EXPECT_TRUE(std::ranges::equal(enc.OutputFormat(), bytes));
    EXPECT_EQ(enc.FormatTag(), "IMA ADPCM");
    EXPECT_EQ(enc.FormatID(), "8 kHz 4 Bit Mono");

    // Setting 20 bytes afterwards keeps the whole array.
    enc.SetFormat(bytes.data(), 20, "a", "b");
    EXPECT_EQ(enc.OutputFormat().size(), 20U);
    EXPECT_EQ(enc.OutputFormatCapacity(), 131072U);
}

TEST(EncoderWAVFormat, SelectFormat_recordShorterThanItsCbSize_isRefused)
{
    ScriptedChooser chooser;
    EncoderWAV enc;
    auto wfx = MakePCMFormat(8000, 1, 16);
    wfx.cbSize = 40;
    chooser.answer = ChosenFormat{wfx.bytes(), "PCM", "broken"};
    EXPECT_EQ(enc.SelectFormat(44100, 2, nullptr, "t"), 11);
    chooser.answer = ChosenFormat{{1, 0, 2}, "PCM", "short"};
    EXPECT_EQ(enc.SelectFormat(44100, 2, nullptr, "t"), 11);
    EXPECT_EQ(enc.FormatID(), "44.1 kHz 16 Bit Stereo");
    EXPECT_EQ(enc.OutputFormat().size(), 18U);
}

}  // namespace
}  // namespace quillon
