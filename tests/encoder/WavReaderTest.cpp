#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "common/WaveFormat.h"
#include "encoder/WavReader.h"
#include "tests/encoder/EncoderTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WavBuilder.h"

namespace quillon {
namespace {

using test::Chunk;
using test::riffWave;
using test::writeFile;

std::vector<std::uint8_t> fmt16(int rate, int channels)
{
    auto f = MakePCMFormat(rate, static_cast<std::int16_t>(channels), 16).bytes();
    f.resize(16);  // the common 16-byte form without cbSize
    return f;
}

std::vector<std::uint8_t> samplesBytes(std::initializer_list<std::int16_t> s)
{
    return test::toBytes(std::vector<std::int16_t>(s));
}

// The same bytes through the streaming file reader, its samples taken `piece` at a time.
WavReadResult readStreaming(const std::vector<std::uint8_t>& bytes, std::size_t piece = 3)
{
    test::TempDir dir;
    const auto path = dir / "in.wav";
    writeFile(path, bytes);
    std::string error;
    auto reader = WavFileReader::open(path.string(), error);
    if (!reader) {
        return WavReadResult{std::nullopt, error};
    }
    WavAudio audio;
    audio.sampleRate = reader->sampleRate();
    audio.channels = reader->channels();
    std::vector<std::int16_t> buffer(piece);
    while (reader->samplesLeft() > 0) {
        const std::size_t n = reader->read(buffer);
        if (n == 0 || reader->failed()) {
            return WavReadResult{std::nullopt, "read failed"};
        }
        audio.samples.insert(audio.samples.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
    }
    EXPECT_EQ(reader->read(buffer), 0U);
    return WavReadResult{std::move(audio), {}};
}

// Both readers give the same audio, or refuse with the same reason.
void expectReadersAgree(const std::vector<std::uint8_t>& bytes, const std::string& what)
{
    const auto whole = ReadWav(bytes);
    for (const std::size_t piece : {1U, 3U, 4096U}) {
        const auto streamed = readStreaming(bytes, piece);
        ASSERT_EQ(streamed.audio.has_value(), whole.audio.has_value()) << what << ": " << streamed.error;
        EXPECT_EQ(streamed.error, whole.error) << what;
        if (whole.audio) {
            EXPECT_EQ(streamed.audio->sampleRate, whole.audio->sampleRate) << what;
            EXPECT_EQ(streamed.audio->channels, whole.audio->channels) << what;
            EXPECT_EQ(streamed.audio->samples, whole.audio->samples) << what << ", pieces of " << piece;
        }
    }
}

TEST(WavReader, Reads16BitMonoAndStereo_skippingOtherChunks)
{
    const auto mono = ReadWav(riffWave({{"fmt ", fmt16(22050, 1)}, {"data", samplesBytes({1, -2, 32767})}}));
    ASSERT_TRUE(mono.audio) << mono.error;
    EXPECT_EQ(mono.audio->sampleRate, 22050);
    EXPECT_EQ(mono.audio->channels, 1);
    EXPECT_EQ(mono.audio->samples, (std::vector<std::int16_t>{1, -2, 32767}));

    // An odd-sized LIST chunk with its pad byte, the 18-byte fmt form, and a trailing chunk.
    const auto stereo = ReadWav(riffWave({{"LIST", {1, 2, 3}},
                                          {"fmt ", MakePCMFormat(96000, 2, 16).bytes()},
                                          {"data", samplesBytes({-32768, 5, 6, 7})},
                                          {"junk", {9, 9}}}));
    ASSERT_TRUE(stereo.audio) << stereo.error;
    EXPECT_EQ(stereo.audio->sampleRate, 96000);
    EXPECT_EQ(stereo.audio->channels, 2);
    EXPECT_EQ(stereo.audio->samples, (std::vector<std::int16_t>{-32768, 5, 6, 7}));

    const auto rate1 = ReadWav(riffWave({{"fmt ", fmt16(1, 1)}, {"data", {}}}));
    ASSERT_TRUE(rate1.audio) << rate1.error;
    EXPECT_TRUE(rate1.audio->samples.empty());
}

TEST(WavFileReader, GivesReadWavsAudio_inAnyPieces)
{
    expectReadersAgree(riffWave({{"fmt ", fmt16(22050, 1)}, {"data", samplesBytes({1, -2, 32767})}}), "mono");
    expectReadersAgree(riffWave({{"LIST", {1, 2, 3}},
                                 {"fmt ", MakePCMFormat(96000, 2, 16).bytes()},
                                 {"data", samplesBytes({-32768, 5, 6, 7})},
                                 {"junk", {9, 9}}}),
                       "stereo after an odd chunk");
    expectReadersAgree(riffWave({{"fmt ", fmt16(1, 1)}, {"data", {}}}), "no samples");
    const auto many = test::randomSamples(10001 * 2, 7);
    expectReadersAgree(riffWave({{"fmt ", fmt16(44100, 2)}, {"data", test::toBytes(many)}}), "long stereo");
}

TEST(WavFileReader, FileCutShortAfterOpen_readsWhatIsThereAndFails)
{
    test::TempDir dir;
    const auto path = dir / "in.wav";
    const auto bytes = riffWave({{"fmt ", fmt16(8000, 1)}, {"data", samplesBytes({1, 2, 3, 4, 5, 6})}});
    writeFile(path, bytes);
    std::string error;
    auto reader = WavFileReader::open(path.string(), error);
    ASSERT_TRUE(reader) << error;
    std::filesystem::resize_file(path, bytes.size() - 6);  // the last three samples go
    std::vector<std::int16_t> buffer(6);
    EXPECT_EQ(reader->read(buffer), 3U);
    EXPECT_TRUE(reader->failed());
    EXPECT_EQ(std::vector<std::int16_t>(buffer.begin(), buffer.begin() + 3), (std::vector<std::int16_t>{1, 2, 3}));
    EXPECT_EQ(reader->read(buffer), 0U);

    EXPECT_FALSE(WavFileReader::open((dir / "missing.wav").string(), error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
}

TEST(WavReader, ReadsExtensiblePcm_refusesOtherSubformats)
{
    auto ext = MakePCMFormat(44100, 2, 16);
    ext.wFormatTag = 0xFFFE;
    ext.cbSize = 22;
    auto body = ext.bytes();
    const std::uint8_t tail[22] = {16, 0, 3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    body.insert(body.end(), tail, tail + 22);
    const auto ok = ReadWav(riffWave({{"fmt ", body}, {"data", samplesBytes({1, 2})}}));
    ASSERT_TRUE(ok.audio) << ok.error;
    body[24] = 3;  // IEEE float sub-format
    EXPECT_FALSE(ReadWav(riffWave({{"fmt ", body}, {"data", samplesBytes({1, 2})}})).audio);
}

TEST(WavReader, RefusesMalformedHeaders_withAReason)
{
    auto fmtWith = [](auto change) {
        auto f = MakePCMFormat(44100, 2, 16).bytes();
        change(f);
        return f;
    };
    const auto data = samplesBytes({1, 2, 3, 4});
    auto notWave = riffWave({{"fmt ", fmt16(44100, 2)}, {"data", data}});
    std::memcpy(&notWave[8], "AVI ", 4);
    auto truncated = riffWave({{"fmt ", fmt16(44100, 2)}, {"data", data}});
    truncated.resize(truncated.size() - 3);

    struct Row {
        const char* what;
        std::vector<std::uint8_t> bytes;
        const char* reason;  // a word the message must contain
    };
    const Row rows[] = {
        {"empty", {}, "RIFF/WAVE"},
        {"not WAVE", notWave, "RIFF/WAVE"},
        {"truncated", truncated, "truncated"},
        {"channels 0", riffWave({{"fmt ", fmtWith([](auto& f) { f[2] = 0; })}, {"data", data}}), "0 channels"},
        {"block align 0", riffWave({{"fmt ", fmtWith([](auto& f) { f[12] = 0; })}, {"data", data}}), "block align 0"},
        {"block align wrong", riffWave({{"fmt ", fmtWith([](auto& f) { f[12] = 6; })}, {"data", data}}), "block align"},
        {"fmt size 0", riffWave({{"fmt ", {}}, {"data", data}}), "too short"},
        {"fmt size 14", riffWave({{"fmt ", std::vector<std::uint8_t>(14, 1)}, {"data", data}}), "too short"},
        {"fmt size huge", riffWave({{"fmt ", fmt16(44100, 2), 0x7FFFFFF0}, {"data", data}}), "overruns"},
        {"fmt absurd", riffWave({{"fmt ", std::vector<std::uint8_t>(70000, 0)}, {"data", data}}), "absurd"},
        {"cbSize beyond chunk", riffWave({{"fmt ", fmtWith([](auto& f) { f[16] = 4; })}, {"data", data}}), "beyond"},
        {"two fmt", riffWave({{"fmt ", fmt16(44100, 2)}, {"fmt ", fmt16(44100, 2)}, {"data", data}}), "two fmt"},
        {"data before fmt", riffWave({{"data", data}, {"fmt ", fmt16(44100, 2)}}), "before"},
        {"no data", riffWave({{"fmt ", fmt16(44100, 2)}}), "no data"},
        {"no fmt", riffWave({{"LIST", {1, 2}}}), "no fmt"},
        {"data size FFFFFFFF", riffWave({{"fmt ", fmt16(44100, 2)}, {"data", data, 0xFFFFFFFF}}), "overruns"},
        {"RIFF size FFFFFFFF", riffWave({{"fmt ", fmt16(44100, 2)}, {"data", data}}, 0xFFFFFFFF), "truncated"},
        {"RIFF size 0", riffWave({{"fmt ", fmt16(44100, 2)}, {"data", data}}, 0), "absurd"},
        {"8-bit",
         riffWave({{"fmt ", fmtWith([](auto& f) {
                        f[14] = 8;
                        f[12] = 2;
                    })},
                   {"data", data}}),
         "8-bit"},
        {"float", riffWave({{"fmt ", fmtWith([](auto& f) { f[0] = 3; })}, {"data", data}}), "not PCM"},
        {"3 channels", riffWave({{"fmt ", fmt16(44100, 3)}, {"data", samplesBytes({1, 2, 3})}}), "3 channels"},
        {"rate 0", riffWave({{"fmt ", fmt16(0, 2)}, {"data", data}}), "sample rate 0"},
        {"rate 96001", riffWave({{"fmt ", fmt16(96001, 2)}, {"data", data}}), "96001"},
        {"partial frame", riffWave({{"fmt ", fmt16(44100, 2)}, {"data", samplesBytes({1, 2, 3})}}), "whole number"},
    };
    for (const auto& row : rows) {
        const auto result = ReadWav(row.bytes);
        EXPECT_FALSE(result.audio) << row.what;
        EXPECT_NE(result.error.find(row.reason), std::string::npos) << row.what << ": " << result.error;
        EXPECT_EQ(result.error.find('\n'), std::string::npos) << row.what;
        expectReadersAgree(row.bytes, row.what);
    }
}

TEST(WavReader, NoPrefixOfAValidFileReadsOutsideItsBytes)
{
    // Every cut of a valid file is refused cleanly (the sanitizer build checks the reads).
    const auto whole = riffWave({{"LIST", {1, 2, 3}}, {"fmt ", fmt16(8000, 2)}, {"data", samplesBytes({1, 2, 3, 4})}});
    for (std::size_t n = 0; n < whole.size(); ++n) {
        const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_FALSE(ReadWav(cut).audio) << n;
        expectReadersAgree(cut, "cut at " + std::to_string(n));
    }
    EXPECT_TRUE(ReadWav(whole).audio);
}

TEST(WavReader, MissingFile_isRefused)
{
    const auto r = ReadWavFile("/nonexistent/quillon/in.wav");
    EXPECT_FALSE(r.audio);
    EXPECT_NE(r.error.find("cannot open"), std::string::npos);
}

}  // namespace
}  // namespace quillon
