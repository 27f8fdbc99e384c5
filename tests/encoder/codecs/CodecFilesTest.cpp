// Compressed WAV files written by the encoder, end to end: header fields, length, and the audio
// as two independent decoders (ffmpeg and sox) read it back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <iostream>
#include <optional>
#include <string>

#include "ReferenceDecoders.h"
#include "encoder/EncoderWAV.h"
#include "encoder/FormatChooser.h"
#include "encoder/acm/AcmStream.h"
#include "encoder/codecs/FormatRecord.h"
#include "encoder/codecs/G711Encoder.h"
#include "encoder/codecs/GsmEncoder.h"
#include "encoder/codecs/ImaAdpcmEncoder.h"
#include "encoder/codecs/MsAdpcmEncoder.h"
#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

struct FileRow {
    const char* name;
    std::function<std::vector<std::uint8_t>()> format;
    std::size_t framesPerBlock;
    int captureRate;
    int captureChannels;
    // Worst signal-to-noise ratio accepted from either decoder, in dB: the codec's normal error
    // on a tone, less a margin (measured: G.711 37-39, IMA 30-39, Microsoft 43-53, GSM 29).
    double minSnrDb;
};

const FileRow kFiles[] = {
    {"alaw:8000:1", [] { return MakeG711Format(G711Encoder::Law::ALaw, 8000, 1); }, 1, 8000, 1, 35.0},
    {"ulaw:22050:2", [] { return MakeG711Format(G711Encoder::Law::MuLaw, 22050, 2); }, 1, 22050, 2, 35.0},
    {"ima-adpcm:44100:2", [] { return MakeImaAdpcmFormat(44100, 2); }, 2041, 44100, 2, 20.0},
    {"ima-adpcm:8000:1", [] { return MakeImaAdpcmFormat(8000, 1); }, 505, 8000, 1, 20.0},
    {"ms-adpcm:44100:2", [] { return MakeMsAdpcmFormat(44100, 2); }, 2036, 44100, 2, 20.0},
    {"ms-adpcm:11025:1", [] { return MakeMsAdpcmFormat(11025, 1); }, 500, 11025, 1, 20.0},
    {"gsm610:8000:1", [] { return MakeGsm610Format(); }, 320, 8000, 1, 15.0},
};

// Captured audio: a tone per channel (different ones, so a swap would show), 2.5 s.
std::vector<std::int16_t> captured(int rate, int channels)
{
    const auto frames = static_cast<std::size_t>(rate) * 5 / 2;
    return test::Tone(441.0, 1187.0, static_cast<std::uint32_t>(rate), channels, frames, 0.5);
}

// Records in the capture engine's 10240-byte blocks, which no codec block divides.
void record(const std::string& path, const std::vector<std::uint8_t>& format, int rate, int channels,
            const std::vector<std::int16_t>& samples)
{
    EncoderWAV encoder;
    encoder.SetFormat(format.data(), static_cast<std::int32_t>(format.size()), "", "");
    ASSERT_EQ(encoder.Encoder_EncoderInit(rate, static_cast<std::int16_t>(channels), path), 0);
    std::vector<std::uint8_t> bytes(samples.size() * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto v = static_cast<std::uint16_t>(samples[i]);
        bytes[2 * i] = static_cast<std::uint8_t>(v & 0xff);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    for (std::size_t at = 0; at < bytes.size(); at += 10240) {
        const auto length = static_cast<std::int32_t>(std::min<std::size_t>(10240, bytes.size() - at));
        std::int32_t used = 0;
        ASSERT_EQ(encoder.Encoder_Encode(bytes.data() + at, length, used), 0);
    }
    ASSERT_EQ(encoder.Encoder_EncoderClose(), 0);
}

std::uint32_t le32(const std::vector<unsigned char>& b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::vector<std::int16_t> readRaw(const std::filesystem::path& file)
{
    const auto bytes = test::readFileBytes(file);
    std::vector<std::int16_t> out(bytes.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    }
    return out;
}

std::vector<std::int16_t> decodeWithFfmpeg(const std::filesystem::path& wav, const std::filesystem::path& raw)
{
    const auto result = test::runProgram(
        {"ffmpeg", "-v", "error", "-y", "-i", wav.string(), "-f", "s16le", "-acodec", "pcm_s16le", raw.string()});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return readRaw(raw);
}

std::vector<std::int16_t> decodeWithSox(const std::filesystem::path& wav, const std::filesystem::path& raw)
{
    const auto result =
        test::runProgram({"sox", "-V1", wav.string(), "-t", "raw", "-e", "signed-integer", "-b", "16", raw.string()});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return readRaw(raw);
}

class CodecFiles : public testing::TestWithParam<FileRow> {};

TEST_P(CodecFiles, HeaderLengthAndAudioSurviveFfmpegAndSox)
{
    ASSERT_TRUE(test::haveProgram("ffmpeg"));
    ASSERT_TRUE(test::haveProgram("sox"));
    const FileRow& row = GetParam();
    const auto format = row.format();
    const auto source = captured(row.captureRate, row.captureChannels);
    test::TempDir dir;
    const auto wav = dir / "take.wav";
    record(wav.string(), format, row.captureRate, row.captureChannels, source);
    const auto file = test::readFileBytes(wav);

    // Header: RIFF, fmt holding the format bytes exactly as set, data; nothing else.
    const std::size_t n = format.size();
    ASSERT_GE(file.size(), 28 + n);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(le32(file, 4), file.size() - 8);
    EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le32(file, 16), n);
    EXPECT_TRUE(std::equal(format.begin(), format.end(), file.begin() + 20));
    EXPECT_EQ(std::string(file.begin() + 20 + static_cast<std::ptrdiff_t>(n),
                          file.begin() + 24 + static_cast<std::ptrdiff_t>(n)),
              "data");
    const std::uint32_t dataLength = le32(file, 24 + n);
    EXPECT_EQ(dataLength, file.size() - 28 - n);

    // Length: every captured frame is in the file, the last block padded and nothing more
    // (blocks the capture buffers split must not lose their tails).
    const std::size_t blockAlign = static_cast<std::size_t>(format[12]) | (static_cast<std::size_t>(format[13]) << 8);
    const std::size_t channels = format[2];
    const std::size_t frames = source.size() / static_cast<std::size_t>(row.captureChannels);
    const std::size_t blocks = (frames + row.framesPerBlock - 1) / row.framesPerBlock;
    EXPECT_EQ(dataLength % blockAlign, 0u);
    EXPECT_EQ(dataLength, blocks * blockAlign);

    const auto byFfmpeg = decodeWithFfmpeg(wav, dir / "ffmpeg.raw");
    const auto bySox = decodeWithSox(wav, dir / "sox.raw");
    EXPECT_EQ(byFfmpeg.size(), blocks * row.framesPerBlock * channels);
    EXPECT_EQ(bySox.size(), blocks * row.framesPerBlock * channels);

    // Audio: the first codec block is left out while an adaptive step size settles.
    const std::size_t skip = row.framesPerBlock == 1 ? 0 : row.framesPerBlock * channels;
    const double snrFfmpeg = test::SnrDb(source, byFfmpeg, skip);
    const double snrSox = test::SnrDb(source, bySox, skip);
    std::cout << "[ SNR      ] " << row.name << ": ffmpeg " << snrFfmpeg << " dB, sox " << snrSox << " dB\n";
    EXPECT_GE(snrFfmpeg, row.minSnrDb);
    EXPECT_GE(snrSox, row.minSnrDb);
}

INSTANTIATE_TEST_SUITE_P(Formats, CodecFiles, testing::ValuesIn(kFiles), [](const auto& instance) {
    std::string name = instance.param.name;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
});

struct ConvertedRow {
    const char* name;
    std::function<std::vector<std::uint8_t>()> format;
    std::size_t framesPerBlock;
    double minSnrDb;
};

const ConvertedRow kConverted[] = {
    {"ima-adpcm:11025:1", [] { return MakeImaAdpcmFormat(11025, 1); }, 505, 20.0},
    {"ms-adpcm:22050:1", [] { return MakeMsAdpcmFormat(22050, 1); }, 1012, 20.0},
    {"alaw:8000:2", [] { return MakeG711Format(G711Encoder::Law::ALaw, 8000, 2); }, 1, 30.0},
    {"gsm610:8000:1", [] { return MakeGsm610Format(); }, 320, 15.0},
};

class ConvertedCodecFiles : public testing::TestWithParam<ConvertedRow> {};

TEST_P(ConvertedCodecFiles, CaptureAt44100StereoIsResampledAndMixedBeforeTheCodec)
{
    ASSERT_TRUE(test::haveProgram("ffmpeg"));
    const ConvertedRow& row = GetParam();
    const auto format = row.format();
    const std::uint32_t rate = static_cast<std::uint32_t>(format[4]) | (static_cast<std::uint32_t>(format[5]) << 8) |
                               (static_cast<std::uint32_t>(format[6]) << 16);
    const int channels = format[2];
    // The same tone on both sides, so mixing down keeps it and the reference is that tone at the
    // codec's rate.
    const auto source = test::Tone(441.0, 441.0, 44100, 2, 44100 * 2, 0.5);
    const auto reference = test::Tone(441.0, 441.0, rate, channels, rate * 2, 0.5);
    test::TempDir dir;
    const auto wav = dir / "take.wav";
    record(wav.string(), format, 44100, 2, source);

    const auto decoded = decodeWithFfmpeg(wav, dir / "ffmpeg.raw");
    const std::size_t frames = decoded.size() / static_cast<std::size_t>(channels);
    // Two seconds at the codec's rate, rounded up to whole blocks: at most one block more.
    EXPECT_GE(frames, static_cast<std::size_t>(rate) * 2);
    EXPECT_LT(frames, static_cast<std::size_t>(rate) * 2 + row.framesPerBlock + (row.framesPerBlock == 1 ? 1 : 0));
    const std::size_t skip = std::max<std::size_t>(row.framesPerBlock, 64) * static_cast<std::size_t>(channels);
    const double snr = test::SnrDb(reference, decoded, skip);
    std::cout << "[ SNR      ] " << row.name << " from 44100 Hz stereo: ffmpeg " << snr << " dB\n";
    EXPECT_GE(snr, row.minSnrDb);
}

INSTANTIATE_TEST_SUITE_P(Formats, ConvertedCodecFiles, testing::ValuesIn(kConverted), [](const auto& instance) {
    std::string name = instance.param.name;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
});

// Picks the first listed format with the given tag name and description, as a user would.
class PickingChooser final : public FormatChooser {
public:
    PickingChooser(std::string tagName, std::string description)
        : tagName_(std::move(tagName)), description_(std::move(description))
    {
        setFormatChooser(this);
    }
    ~PickingChooser() override { setFormatChooser(nullptr); }
    PickingChooser(const PickingChooser&) = delete;
    PickingChooser& operator=(const PickingChooser&) = delete;

    std::optional<ChosenFormat> choose(std::span<const std::uint8_t> sourceFormat, void*, const std::string&) override
    {
        const auto source = WaveFormatEx::parse(sourceFormat);
        for (const auto& details : acm::acmFormatEnum(static_cast<std::int32_t>(source->nSamplesPerSec),
                                                      static_cast<std::int16_t>(source->nChannels))) {
            if (details.tagName == tagName_ && details.description == description_) {
                return ChosenFormat{details.format, details.tagName, details.description};
            }
        }
        return std::nullopt;
    }

private:
    std::string tagName_;
    std::string description_;
};

TEST(CodecChoice, MicrosoftAdpcmChosenGivesAFiftyByteFormatAndFmtChunk)
{
    // Microsoft ADPCM carries 32 extra bytes (samples per block and seven coefficient pairs).
    PickingChooser chooser("Microsoft ADPCM", "22.05 kHz 4 Bit Mono");
    EncoderWAV encoder;
    ASSERT_EQ(encoder.SelectFormat(44100, 2, nullptr, "选择声音输出格式"), 0);
    EXPECT_EQ(encoder.OutputFormat().size(), 50u);
    EXPECT_EQ(encoder.FormatTag(), "Microsoft ADPCM");
    EXPECT_EQ(encoder.FormatID(), "22.05 kHz 4 Bit Mono");

    test::TempDir dir;
    const auto wav = dir / "take.wav";
    ASSERT_EQ(encoder.Encoder_EncoderInit(44100, 2, wav.string()), 0);
    const auto tone = test::Tone(441.0, 441.0, 44100, 2, 44100, 0.5);
    std::int32_t used = 0;
    ASSERT_EQ(encoder.Encoder_Encode(tone.data(), static_cast<std::int32_t>(tone.size() * 2), used), 0);
    ASSERT_EQ(encoder.Encoder_EncoderClose(), 0);
    const auto file = test::readFileBytes(wav);
    ASSERT_GE(file.size(), 78u);
    EXPECT_EQ(le32(file, 16), 50u);
    EXPECT_EQ(std::string(file.begin() + 70, file.begin() + 74), "data");
    EXPECT_EQ(le32(file, 74), file.size() - 78);
    // 22050 frames in blocks of 1012: 22 blocks of 512 bytes, the last one padded.
    EXPECT_EQ(le32(file, 74), 22u * 512);
}

}  // namespace
}  // namespace quillon
