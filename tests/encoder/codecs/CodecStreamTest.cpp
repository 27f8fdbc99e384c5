// The codecs behind the conversion stream: the chooser's list, opening, and the block carry and
// drain the encoder relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <tuple>

#include "ReferenceDecoders.h"
#include "encoder/acm/AcmStream.h"
#include "encoder/codecs/FormatRecord.h"
#include "encoder/codecs/G711Encoder.h"
#include "encoder/codecs/GsmEncoder.h"
#include "encoder/codecs/ImaAdpcmEncoder.h"
#include "encoder/codecs/MsAdpcmEncoder.h"

namespace quillon::acm {
namespace {

std::vector<std::uint8_t> pcmSource(std::uint32_t rate, std::uint16_t channels)
{
    return MakePCMFormat(static_cast<std::int32_t>(rate), static_cast<std::int16_t>(channels), 16).bytes();
}

std::vector<std::uint8_t> toBytes(std::span<const std::int16_t> samples)
{
    std::vector<std::uint8_t> out(samples.size() * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        putLE16(&out[2 * i], static_cast<std::uint16_t>(samples[i]));
    }
    return out;
}

// Feeds `pcm` through a stream the way the encoder does: chunks of the given sizes, whatever the
// stream leaves unused carried to the front of the next chunk, then a drain with the tail.
std::vector<std::uint8_t> streamThrough(std::span<const std::uint8_t> format, std::uint32_t rate,
                                        std::uint16_t channels, std::span<const std::uint8_t> pcm,
                                        const std::vector<std::size_t>& chunkSizes)
{
    AcmStreamHandle stream;
    EXPECT_EQ(acmStreamOpen(stream, pcmSource(rate, channels), format, 0), MMSYSERR_NOERROR);
    if (!stream) {
        return {};
    }
    const std::uint32_t sourceSize = rate * channels * 2;
    std::uint32_t destinationSize = 0;
    EXPECT_EQ(acmStreamSize(stream.get(), sourceSize, destinationSize, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    // Room for one second plus what a block codec may carry.
    std::vector<std::uint8_t> src(sourceSize * 2);
    std::vector<std::uint8_t> dst(destinationSize);
    AcmStreamHeader header;
    header.pbSrc = src.data();
    header.cbSrcLength = static_cast<std::uint32_t>(src.size());
    header.pbDst = dst.data();
    header.cbDstLength = destinationSize;
    EXPECT_EQ(acmStreamPrepareHeader(stream.get(), header, 0), MMSYSERR_NOERROR);

    std::vector<std::uint8_t> out;
    std::size_t carried = 0;
    std::size_t at = 0;
    std::size_t chunk = 0;
    while (at < pcm.size()) {
        const std::size_t length = std::min(chunkSizes[chunk++ % chunkSizes.size()], pcm.size() - at);
        std::copy_n(pcm.begin() + static_cast<std::ptrdiff_t>(at), length,
                    src.begin() + static_cast<std::ptrdiff_t>(carried));
        at += length;
        header.cbSrcLength = static_cast<std::uint32_t>(carried + length);
        EXPECT_EQ(acmStreamConvert(stream.get(), header, ACM_STREAMCONVERTF_BLOCKALIGN), MMSYSERR_NOERROR);
        out.insert(out.end(), dst.begin(), dst.begin() + header.cbDstLengthUsed);
        carried = header.cbSrcLength - header.cbSrcLengthUsed;
        std::copy_n(src.begin() + header.cbSrcLengthUsed, carried, src.begin());
    }
    header.cbSrcLength = static_cast<std::uint32_t>(carried);
    EXPECT_EQ(acmStreamConvert(stream.get(), header, ACM_STREAMCONVERTF_END), MMSYSERR_NOERROR);
    out.insert(out.end(), dst.begin(), dst.begin() + header.cbDstLengthUsed);
    header.cbSrcLength = static_cast<std::uint32_t>(src.size());
    EXPECT_EQ(acmStreamUnprepareHeader(stream.get(), header, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
    return out;
}

TEST(CodecStream, OddChunksGiveTheSameBytesAsEncodingTheWholeRecordingAtOnce)
{
    // Whatever the chunking, the stream must hand the codec the same samples in the same blocks:
    // the reference is the block encoder run once over the whole signal, zero-padded to a block.
    std::mt19937 random(3);
    std::uniform_int_distribution<std::size_t> size(1, 9000);
    std::vector<std::size_t> chunks(40);
    for (auto& c : chunks) {
        c = size(random) * 4;  // whole stereo frames, like capture buffers
    }
    chunks.push_back(10240);
    const auto tone = test::Tone(523.0, 659.0, 44100, 2, 44100 * 3 + 77, 0.4);
    const auto pcm = toBytes(tone);

    const std::vector<std::unique_ptr<BlockEncoder>> encoders = [] {
        std::vector<std::unique_ptr<BlockEncoder>> list;
        list.push_back(std::make_unique<ImaAdpcmEncoder>(44100, 2));
        list.push_back(std::make_unique<MsAdpcmEncoder>(44100, 2));
        list.push_back(std::make_unique<G711Encoder>(G711Encoder::Law::MuLaw, 44100, 2));
        return list;
    }();
    for (const auto& reference : encoders) {
        const auto format = reference->format();
        SCOPED_TRACE(testing::Message() << "tag " << format[0]);
        std::vector<std::int16_t> padded = tone;
        padded.resize((tone.size() + reference->samplesPerBlock() - 1) / reference->samplesPerBlock() *
                          reference->samplesPerBlock(),
                      0);
        std::vector<std::uint8_t> expected(padded.size() / reference->samplesPerBlock() * reference->bytesPerBlock());
        reference->encode(padded, expected);

        const auto streamed = streamThrough(format, 44100, 2, pcm, chunks);
        ASSERT_EQ(streamed.size(), expected.size());
        EXPECT_TRUE(streamed == expected);
    }
}

TEST(CodecStream, ABlockCodecTakesWholeBlocksAndTheDrainPadsTheTail)
{
    const auto format = MakeImaAdpcmFormat(8000, 1);  // 505 frames = 1010 source bytes per block
    AcmStreamHandle stream;
    ASSERT_EQ(acmStreamOpen(stream, pcmSource(8000, 1), format, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamSourceBlockAlign(stream.get()), 1010u);
    std::uint32_t room = 0;
    ASSERT_EQ(acmStreamSize(stream.get(), 16000, room, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_GE(room, 17u * 256);  // 15.8 blocks rounded up, plus the padded tail

    std::vector<std::uint8_t> src(16000, 0);
    std::vector<std::uint8_t> dst(room);
    AcmStreamHeader header;
    header.pbSrc = src.data();
    header.cbSrcLength = 16000;
    header.pbDst = dst.data();
    header.cbDstLength = room;
    ASSERT_EQ(acmStreamPrepareHeader(stream.get(), header, 0), MMSYSERR_NOERROR);
    header.cbSrcLength = 2500;  // two blocks and 480 bytes
    ASSERT_EQ(acmStreamConvert(stream.get(), header, ACM_STREAMCONVERTF_BLOCKALIGN), MMSYSERR_NOERROR);
    EXPECT_EQ(header.cbSrcLengthUsed, 2020u);
    EXPECT_EQ(header.cbDstLengthUsed, 512u);
    header.cbSrcLength = 480;
    ASSERT_EQ(acmStreamConvert(stream.get(), header, ACM_STREAMCONVERTF_END), MMSYSERR_NOERROR);
    EXPECT_EQ(header.cbSrcLengthUsed, 480u);
    EXPECT_EQ(header.cbDstLengthUsed, 256u);
    // Once drained the stream takes nothing more.
    header.cbSrcLength = 1010;
    EXPECT_NE(acmStreamConvert(stream.get(), header, ACM_STREAMCONVERTF_BLOCKALIGN), MMSYSERR_NOERROR);
    header.cbSrcLength = 16000;
    ASSERT_EQ(acmStreamUnprepareHeader(stream.get(), header, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
}

TEST(CodecStream, ResamplingInFrontKeepsEveryBlockOfTheRecording)
{
    // 3 s at 44100 Hz stereo into IMA ADPCM 11025 Hz mono: 33075 frames, 66 blocks of 505 - at most
    // one block over what the resampler delivers, never one short.
    const auto tone = test::Tone(300.0, 300.0, 44100, 2, 44100 * 3, 0.4);
    const auto format = MakeImaAdpcmFormat(11025, 1);
    const auto out = streamThrough(format, 44100, 2, toBytes(tone), {10240, 4, 6000});
    ASSERT_EQ(out.size() % 256, 0u);
    const std::size_t frames = out.size() / 256 * 505;
    EXPECT_GE(frames, 33075u);
    EXPECT_LT(frames, 33075u + 505);
    const auto decoded = test::DecodeImaAdpcm(out, 1, 256);
    const auto reference = test::Tone(300.0, 0.0, 11025, 1, 33075, 0.4);
    EXPECT_GE(test::SnrDb(reference, decoded, 505), 20.0);
}

TEST(CodecFormats, TheChooserListsExactlyWhatOpens)
{
    // Capture at 32000 Hz stereo: every codec offers 8000, 11025, 22050, 44100 and the capture
    // rate in mono and stereo, except GSM 6.10 which is 8000 Hz mono only.
    const auto listed = acmFormatEnum(32000, 2);
    std::map<std::uint16_t, std::set<std::pair<std::uint32_t, int>>> shapes;
    for (const auto& details : listed) {
        const auto f = WaveFormatEx::parse(details.format);
        ASSERT_TRUE(f.has_value());
        EXPECT_EQ(f->wFormatTag, details.formatTag);
        EXPECT_EQ(details.format.size(), 18u + f->cbSize);
        if (f->wFormatTag != WAVE_FORMAT_PCM && f->wFormatTag != WAVE_FORMAT_IEEE_FLOAT) {
            shapes[f->wFormatTag].insert({f->nSamplesPerSec, f->nChannels});
        }
        AcmStreamHandle stream;
        EXPECT_EQ(acmStreamOpen(stream, pcmSource(32000, 2), details.format, 0), MMSYSERR_NOERROR)
            << details.tagName << " " << details.description;
        if (stream) {
            acmStreamClose(stream, 0);
        }
    }
    std::set<std::pair<std::uint32_t, int>> common;
    for (const std::uint32_t rate : {8000u, 11025u, 22050u, 32000u, 44100u}) {
        common.insert({rate, 1});
        common.insert({rate, 2});
    }
    EXPECT_EQ(shapes[WAVE_FORMAT_ALAW], common);
    EXPECT_EQ(shapes[WAVE_FORMAT_MULAW], common);
    EXPECT_EQ(shapes[WAVE_FORMAT_IMA_ADPCM], common);
    EXPECT_EQ(shapes[WAVE_FORMAT_ADPCM], common);
    EXPECT_EQ(shapes[WAVE_FORMAT_GSM610], (std::set<std::pair<std::uint32_t, int>>{{8000, 1}}));
    EXPECT_EQ(shapes.size(), 5u);

    std::set<std::string> names;
    for (const auto& tag : acmFormatTagEnum(32000, 2)) {
        names.insert(tag.name);
    }
    for (const char* name : {"CCITT A-Law", "CCITT u-Law", "IMA ADPCM", "Microsoft ADPCM", "GSM 6.10"}) {
        EXPECT_EQ(names.count(name), 1u) << name;
    }
}

TEST(CodecFormats, RecordsTheCodecsCannotWriteDoNotOpen)
{
    const auto source = pcmSource(44100, 2);
    auto gsm11025 = MakeGsm610Format();
    putLE32(&gsm11025[4], 11025);
    auto imaWrongBlock = MakeImaAdpcmFormat(44100, 2);
    putLE16(&imaWrongBlock[12], 300);
    auto msOtherCoefficient = MakeMsAdpcmFormat(22050, 1);
    putLE16(&msOtherCoefficient[22], 255);
    auto alawThreeChannels = MakeG711Format(G711Encoder::Law::ALaw, 8000, 1);
    putLE16(&alawThreeChannels[2], 3);
    for (const auto& format : {gsm11025, imaWrongBlock, msOtherCoefficient, alawThreeChannels}) {
        AcmStreamHandle stream;
        EXPECT_EQ(acmStreamOpen(stream, source, format, 0), ACMERR_NOTPOSSIBLE) << "tag " << int{format[0]};
        EXPECT_FALSE(stream);
    }
    // Fewer bytes than cbSize promises: not a format record at all.
    auto msTruncated = MakeMsAdpcmFormat(22050, 1);
    msTruncated.resize(30);
    AcmStreamHandle truncated;
    EXPECT_EQ(acmStreamOpen(truncated, source, msTruncated, 0), MMSYSERR_INVALPARAM);
    EXPECT_FALSE(truncated);
    // The byte rate is not checked: other writers round it differently and decoders ignore it.
    auto imaOtherRate = MakeImaAdpcmFormat(44100, 2);
    putLE32(&imaOtherRate[8], 88200);
    AcmStreamHandle stream;
    EXPECT_EQ(acmStreamOpen(stream, source, imaOtherRate, 0), MMSYSERR_NOERROR);
    if (stream) {
        acmStreamClose(stream, 0);
    }
}

}  // namespace
}  // namespace quillon::acm
