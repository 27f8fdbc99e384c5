#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "encoder/EncoderWAV.h"
#include "encoder/acm/AcmPcm.h"
#include "encoder/acm/AcmStream.h"
#include "tests/encoder/EncoderTestSupport.h"
#include "tests/support/TestSupport.h"

namespace quillon::acm {
namespace {

// Runs a whole signal through a stream the way the encoder does: prepared one-second header,
// block-aligned conversions, then the END drain.
std::vector<std::uint8_t> convertAll(const WaveFormatEx& source, const std::vector<std::uint8_t>& target,
                                     const std::vector<std::uint8_t>& input, std::size_t block)
{
    AcmStreamHandle stream;
    const auto src = source.bytes();
    EXPECT_EQ(acmStreamOpen(stream, src, target, 0), MMSYSERR_NOERROR);
    if (!stream) {
        return {};
    }
    std::vector<std::uint8_t> in(source.nAvgBytesPerSec);
    std::uint32_t outSize = 0;
    EXPECT_EQ(acmStreamSize(stream.get(), static_cast<std::uint32_t>(in.size()), outSize, ACM_STREAMSIZEF_SOURCE),
              MMSYSERR_NOERROR);
    std::vector<std::uint8_t> out(outSize);
    AcmStreamHeader h;
    h.pbSrc = in.data();
    h.cbSrcLength = static_cast<std::uint32_t>(in.size());
    h.pbDst = out.data();
    h.cbDstLength = outSize;
    EXPECT_EQ(acmStreamPrepareHeader(stream.get(), h, 0), MMSYSERR_NOERROR);
    std::vector<std::uint8_t> result;
    for (std::size_t off = 0; off < input.size(); off += block) {
        const std::size_t len = std::min(block, input.size() - off);
        std::memcpy(in.data(), input.data() + off, len);
        h.cbSrcLength = static_cast<std::uint32_t>(len);
        EXPECT_EQ(acmStreamConvert(stream.get(), h, ACM_STREAMCONVERTF_BLOCKALIGN), MMSYSERR_NOERROR);
        EXPECT_EQ(h.cbSrcLengthUsed, len);
        result.insert(result.end(), out.begin(), out.begin() + h.cbDstLengthUsed);
    }
    h.cbSrcLength = 0;
    do {
        EXPECT_EQ(acmStreamConvert(stream.get(), h, ACM_STREAMCONVERTF_END), MMSYSERR_NOERROR);
        result.insert(result.end(), out.begin(), out.begin() + h.cbDstLengthUsed);
    } while (h.cbDstLengthUsed > 0);
    h.cbSrcLength = static_cast<std::uint32_t>(in.size());
    EXPECT_EQ(acmStreamUnprepareHeader(stream.get(), h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
    return result;
}

std::vector<std::uint8_t> pcm(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits)
{
    return acmPcmFormat(rate, channels, bits, false);
}

TEST(AcmStream, Open_refusesWhatItCannotProduce)
{
    AcmStreamHandle stream;
    const auto src = MakePCMFormat(44100, 2, 16).bytes();
    auto badAlign = MakePCMFormat(44100, 2, 16);
    badAlign.nBlockAlign = 3;
    auto withExtra = MakePCMFormat(44100, 2, 16);
    withExtra.cbSize = 4;  // says 4 extra bytes, none follow
    struct Row {
        const char* what;
        std::vector<std::uint8_t> source;
        std::vector<std::uint8_t> target;
        MMRESULT expected;
    };
    const Row rows[] = {
        {"3 channels out", src, pcm(44100, 3, 16), ACMERR_NOTPOSSIBLE},
        {"12-bit out", src, MakePCMFormat(44100, 2, 12).bytes(), ACMERR_NOTPOSSIBLE},
        {"inconsistent block align", src, badAlign.bytes(), ACMERR_NOTPOSSIBLE},
        {"float of 16 bits", src, acmPcmFormat(44100, 2, 16, true), ACMERR_NOTPOSSIBLE},
        {"rate 0 out", src, pcm(0, 2, 16), ACMERR_NOTPOSSIBLE},
        {"8-bit source", MakePCMFormat(44100, 2, 8).bytes(), pcm(44100, 2, 16), ACMERR_NOTPOSSIBLE},
        {"3-channel source", MakePCMFormat(44100, 3, 16).bytes(), pcm(44100, 2, 16), ACMERR_NOTPOSSIBLE},
        {"extra bytes missing", src, withExtra.bytes(), MMSYSERR_INVALPARAM},
        {"record too short", src, std::vector<std::uint8_t>(10, 0), MMSYSERR_INVALPARAM},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(acmStreamOpen(stream, row.source, row.target, 0), row.expected) << row.what;
        EXPECT_EQ(stream, nullptr) << row.what;
    }
    EXPECT_EQ(acmStreamOpen(stream, src, pcm(44100, 2, 16), 1), MMSYSERR_INVALFLAG);
    EXPECT_EQ(acmOpenStreamCount(), 0);
}

TEST(AcmStream, HeaderLifecycle_convertNeedsPrepare_unprepareNeedsPreparedLengths_closeNeedsUnprepare)
{
    AcmStreamHandle stream;
    ASSERT_EQ(acmStreamOpen(stream, MakePCMFormat(8000, 1, 16).bytes(), pcm(8000, 1, 16), 0), MMSYSERR_NOERROR);
    std::vector<std::uint8_t> in(16000);
    std::vector<std::uint8_t> out(16000);
    AcmStreamHeader h;
    h.pbSrc = in.data();
    h.cbSrcLength = 16000;
    h.pbDst = out.data();
    h.cbDstLength = 16000;
    EXPECT_EQ(acmStreamConvert(stream.get(), h, 0), ACMERR_UNPREPARED);
    ASSERT_EQ(acmStreamPrepareHeader(stream.get(), h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamPrepareHeader(stream.get(), h, 0), MMSYSERR_INVALPARAM);
    h.cbSrcLength = 16002;
    EXPECT_EQ(acmStreamConvert(stream.get(), h, 0), MMSYSERR_INVALPARAM);  // beyond the prepared source
    h.cbSrcLength = 0;
    EXPECT_EQ(acmStreamUnprepareHeader(stream.get(), h, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(acmStreamClose(stream, 0), ACMERR_BUSY);
    h.cbSrcLength = 16000;
    EXPECT_EQ(acmStreamUnprepareHeader(stream.get(), h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(acmOpenStreamCount(), 0);
}

TEST(AcmStream, Convert_usesWholeFramesOnly)
{
    AcmStreamHandle stream;
    ASSERT_EQ(acmStreamOpen(stream, MakePCMFormat(8000, 2, 16).bytes(), pcm(8000, 2, 16), 0), MMSYSERR_NOERROR);
    std::vector<std::uint8_t> in(32000, 1);
    std::vector<std::uint8_t> out(32000);
    AcmStreamHeader h;
    h.pbSrc = in.data();
    h.cbSrcLength = 32000;
    h.pbDst = out.data();
    h.cbDstLength = 32000;
    ASSERT_EQ(acmStreamPrepareHeader(stream.get(), h, 0), MMSYSERR_NOERROR);
    h.cbSrcLength = 11;
    ASSERT_EQ(acmStreamConvert(stream.get(), h, ACM_STREAMCONVERTF_BLOCKALIGN), MMSYSERR_NOERROR);
    EXPECT_EQ(h.cbSrcLengthUsed, 8U);
    EXPECT_EQ(h.cbDstLengthUsed, 8U);
    EXPECT_EQ(acmStreamSourceBlockAlign(stream.get()), 4U);
    h.cbSrcLength = 32000;
    acmStreamUnprepareHeader(stream.get(), h, 0);
}

TEST(AcmPcm, SampleMapping_exactForEveryDepth)
{
    // 16-bit values chosen around the rounding points of the 8-bit mapping s / 256 + 128.
    const std::vector<std::int16_t> s = {-32768, -32767, -129, -128, 0, 127, 128, 384, 32767};
    const auto input = test::toBytes(s);
    const auto source = MakePCMFormat(8000, 1, 16);

    const auto u8 = convertAll(source, pcm(8000, 1, 8), input, input.size());
    // 127.5 -> 128, 128.5 -> 128 and 129.5 -> 130 (halves to even); the ends saturate.
    const std::vector<std::uint8_t> expected8 = {0, 0, 127, 128, 128, 128, 128, 130, 255};
    EXPECT_EQ(u8, expected8);

    const auto s24 = convertAll(source, pcm(8000, 1, 24), input, input.size());
    ASSERT_EQ(s24.size(), s.size() * 3);
    for (std::size_t i = 0; i < s.size(); ++i) {
        std::int32_t v = s24[3 * i] | (s24[3 * i + 1] << 8) | (s24[3 * i + 2] << 16);
        v = (v << 8) >> 8;
        EXPECT_EQ(v, s[i] * 256) << i;
    }
    const auto s32 = convertAll(source, pcm(8000, 1, 32), input, input.size());
    ASSERT_EQ(s32.size(), s.size() * 4);
    for (std::size_t i = 0; i < s.size(); ++i) {
        EXPECT_EQ(static_cast<std::int32_t>(getLE32(&s32[4 * i])), s[i] * 65536) << i;
    }
    const auto f32 = convertAll(source, acmPcmFormat(8000, 1, 32, true), input, input.size());
    ASSERT_EQ(f32.size(), s.size() * 4);
    for (std::size_t i = 0; i < s.size(); ++i) {
        float f = 0;
        const std::uint32_t bits = getLE32(&f32[4 * i]);
        std::memcpy(&f, &bits, 4);
        EXPECT_EQ(f, static_cast<float>(s[i]) / 32768.0F) << i;
    }
}

TEST(AcmPcm, ChannelMapping_monoDuplicates_stereoAveragesHalvesToEven)
{
    const std::vector<std::int16_t> stereo = {1, 2, 3, 4, -1, -2, 2, 3, 32767, 32767, -32768, -32768};
    const auto mono = convertAll(MakePCMFormat(8000, 2, 16), pcm(8000, 1, 16), test::toBytes(stereo), 1000);
    const std::vector<std::int16_t> expectedMono = {2, 4, -2, 2, 32767, -32768};
    EXPECT_EQ(mono, test::toBytes(expectedMono));

    const std::vector<std::int16_t> in = {5, -7, 32767};
    const auto both = convertAll(MakePCMFormat(8000, 1, 16), pcm(8000, 2, 16), test::toBytes(in), 1000);
    const std::vector<std::int16_t> expectedStereo = {5, 5, -7, -7, 32767, 32767};
    EXPECT_EQ(both, test::toBytes(expectedStereo));
}

double toneFrequency(const std::vector<std::int16_t>& s, int rate, double& amplitude)
{
    // Zero crossings over the middle, away from the resampler's start-up and tail; amplitude
    // from the RMS of the same span.
    const std::size_t from = s.size() / 10;
    const std::size_t to = s.size() - s.size() / 10;
    int crossings = 0;
    std::size_t first = 0;
    std::size_t last = 0;
    double sumSquares = 0;
    for (std::size_t i = from + 1; i < to; ++i) {
        sumSquares += static_cast<double>(s[i]) * s[i];
        if (s[i - 1] < 0 && s[i] >= 0) {
            if (crossings == 0) {
                first = i;
            }
            last = i;
            ++crossings;
        }
    }
    amplitude = std::sqrt(2.0 * sumSquares / static_cast<double>(to - from - 1));
    return crossings < 2 ? 0.0 : (crossings - 1) * static_cast<double>(rate) / static_cast<double>(last - first);
}

TEST(AcmPcm, Resample_keepsToneFrequencyAmplitudeAndLength)
{
    struct Row {
        int from;
        int to;
        int inChannels;
        int outChannels;
        double tone;
    };
    const Row rows[] = {{44100, 22050, 2, 1, 1000.0},
                        {8000, 44100, 1, 2, 440.0},
                        {48000, 44100, 2, 2, 3000.0},
                        {11025, 96000, 1, 1, 2000.0}};
    for (const auto& row : rows) {
        const int frames = row.from * 2;
        const auto input = test::sineSamples(row.tone, 16000.0, row.from, row.inChannels, frames);
        // 10240-byte blocks, as the capture buffers arrive.
        const auto out =
            convertAll(MakePCMFormat(row.from, static_cast<std::int16_t>(row.inChannels), 16),
                       pcm(static_cast<std::uint32_t>(row.to), static_cast<std::uint16_t>(row.outChannels), 16),
                       test::toBytes(input), 10240);
        std::vector<std::int16_t> all(out.size() / 2);
        for (std::size_t i = 0; i < all.size(); ++i) {
            all[i] = static_cast<std::int16_t>(getLE16(&out[2 * i]));
        }
        std::vector<std::int16_t> left;
        for (std::size_t i = 0; i < all.size(); i += static_cast<std::size_t>(row.outChannels)) {
            left.push_back(all[i]);
        }
        // The drained stream is as long as the input, to a frame.
        EXPECT_NEAR(static_cast<double>(left.size()), 2.0 * row.to, 1.0) << row.from << "->" << row.to;
        double amplitude = 0;
        const double f = toneFrequency(left, row.to, amplitude);
        EXPECT_NEAR(f, row.tone, row.tone * 0.002) << row.from << "->" << row.to;
        EXPECT_NEAR(amplitude, 16000.0, 16000.0 * 0.01) << row.from << "->" << row.to;
        if (row.outChannels == 2) {
            for (std::size_t i = 0; i + 1 < all.size(); i += 2) {
                ASSERT_EQ(all[i], all[i + 1]);
            }
        }
    }
}

TEST(AcmPcm, Resample_outputNeverExceedsTheSizeReported)
{
    AcmStreamHandle stream;
    ASSERT_EQ(acmStreamOpen(stream, MakePCMFormat(8000, 1, 16).bytes(), pcm(96000, 2, 32), 0), MMSYSERR_NOERROR);
    std::uint32_t size = 0;
    ASSERT_EQ(acmStreamSize(stream.get(), 16000, size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    // One second in gives twelve seconds' worth of frames out at 96000 Hz stereo, 8 bytes each.
    EXPECT_GE(size, 96000U * 8U);
    std::uint32_t back = 0;
    ASSERT_EQ(acmStreamSize(stream.get(), 96000 * 8, back, ACM_STREAMSIZEF_DESTINATION), MMSYSERR_NOERROR);
    EXPECT_EQ(back, 16000U);
    acmStreamClose(stream, 0);
}

TEST(AcmFormatEnum, PcmListCoversRatesDepthsAndTheSourceRate)
{
    const auto tags = acmFormatTagEnum(12345, 2);
    ASSERT_GE(tags.size(), 2U);
    EXPECT_EQ(tags[0].tag, WAVE_FORMAT_PCM);
    EXPECT_EQ(tags[0].name, "PCM");
    EXPECT_EQ(tags[1].tag, WAVE_FORMAT_IEEE_FLOAT);

    const auto list = acmFormatEnum(12345, 2, WAVE_FORMAT_PCM);
    EXPECT_EQ(list.size(), 9U * 4U * 2U);  // 8 standard rates + the source rate, 4 depths, 2 layouts
    auto find = [&](const std::string& text) {
        return std::find_if(list.begin(), list.end(), [&](const AcmFormatDetails& d) { return d.description == text; });
    };
    const auto cd = find("44.1 kHz 16 Bit Stereo");
    ASSERT_NE(cd, list.end());
    EXPECT_EQ(cd->format, MakePCMFormat(44100, 2, 16).bytes());
    EXPECT_EQ(cd->tagName, "PCM");
    EXPECT_NE(find("12.345 kHz 24 Bit Mono"), list.end());
    EXPECT_NE(find("11.025 kHz 8 Bit Mono"), list.end());
    EXPECT_NE(find("8 kHz 32 Bit Stereo"), list.end());

    const auto floats = acmFormatEnum(44100, 1, WAVE_FORMAT_IEEE_FLOAT);
    ASSERT_EQ(floats.size(), 8U * 2U);
    EXPECT_EQ(floats.front().tagName, "IEEE Float");
    EXPECT_TRUE(acmFormatEnum(0, 2).empty());
    EXPECT_TRUE(acmFormatEnum(44100, 3).empty());
}

TEST(AcmFormatEnum, EveryListedFormatOpensFromItsSource)
{
    for (const auto& [rate, channels] : {std::pair{44100, 2}, std::pair{8000, 1}}) {
        const auto source = MakePCMFormat(rate, static_cast<std::int16_t>(channels), 16).bytes();
        for (const auto& format : acmFormatEnum(rate, static_cast<std::int16_t>(channels))) {
            AcmStreamHandle stream;
            EXPECT_EQ(acmStreamOpen(stream, source, format.format, 0), MMSYSERR_NOERROR) << format.description;
            const auto wfx = WaveFormatEx::parse(format.format);
            ASSERT_TRUE(wfx);
            EXPECT_EQ(wfx->wFormatTag, format.formatTag);
            EXPECT_EQ(format.format.size(), kWaveFormatExSize + wfx->cbSize);
            acmStreamClose(stream, 0);
        }
    }
}

// A block codec stand-in: copies the source in blocks of 3 frames and pads the last partial
// block with zeros at the end. It checks that the encoder carries what a block leaves over.
class BlockCopyCodec final : public AcmCodec {
public:
    explicit BlockCopyCodec(std::uint32_t block) : block_(block) {}
    [[nodiscard]] std::uint32_t sourceBlockAlign() const override { return block_; }
    [[nodiscard]] std::uint32_t destinationSize(std::uint32_t bytes) const override { return bytes + block_; }
    [[nodiscard]] std::uint32_t sourceSize(std::uint32_t bytes) const override { return bytes; }
    std::optional<Converted> convert(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination,
                                     bool end) override
    {
        if (!end && source.size() % block_ != 0) {
            return std::nullopt;  // the stream must hand over whole blocks
        }
        std::copy(source.begin(), source.end(), destination.begin());
        const auto used = static_cast<std::uint32_t>(source.size());
        std::uint32_t produced = used;
        if (used % block_ != 0) {
            const std::uint32_t padded = used + block_ - used % block_;
            std::fill(destination.begin() + used, destination.begin() + padded, 0);
            produced = padded;
        }
        return Converted{used, produced};
    }

private:
    std::uint32_t block_;
};

class BlockCopyDriver final : public AcmDriver {
public:
    static constexpr std::uint16_t kTag = 0x7F01;
    [[nodiscard]] std::vector<AcmFormatTag> formatTags() const override { return {{kTag, "Block copy"}}; }
    [[nodiscard]] std::unique_ptr<AcmCodec> open(const WaveFormatEx& source,
                                                 std::span<const std::uint8_t> destination) const override
    {
        const auto f = WaveFormatEx::parse(destination);
        if (!f || f->wFormatTag != kTag) {
            return nullptr;
        }
        return std::make_unique<BlockCopyCodec>(source.nBlockAlign * 3U);
    }
    [[nodiscard]] std::vector<AcmFormatDetails> formats(const WaveFormatEx& source) const override
    {
        auto f = source;
        f.wFormatTag = kTag;
        return {{kTag, "Block copy", "copy", f.bytes()}};
    }
};

TEST(AcmRegistry, AddedDriver_isListedOpenedAndFedWholeBlocksByTheEncoder)
{
    static const bool registered = [] {
        acmRegisterDriver(std::make_unique<BlockCopyDriver>());
        return true;
    }();
    ASSERT_TRUE(registered);
    const auto tags = acmFormatTagEnum(8000, 2);
    EXPECT_TRUE(std::any_of(tags.begin(), tags.end(), [](const AcmFormatTag& t) { return t.name == "Block copy"; }));
    const auto listed = acmFormatEnum(8000, 2, BlockCopyDriver::kTag);
    ASSERT_EQ(listed.size(), 1U);

    test::TempDir dir;
    EncoderWAV enc;
    enc.WriteHeader(false);
    enc.SetFormat(listed[0].format.data(), 18, listed[0].description, listed[0].tagName);
    ASSERT_EQ(enc.Encoder_EncoderInit(8000, 2, (dir / "a.raw").string()), 0);
    const auto bytes = test::toBytes(test::randomSamples(1000, 5));  // 500 frames: 166 blocks + 2 frames
    std::size_t consumed = 0;
    for (std::size_t off = 0; off < bytes.size(); off += 50) {
        std::int32_t used = 0;
        ASSERT_EQ(enc.Encoder_Encode(bytes.data() + off, 50, used), 0);
        EXPECT_EQ(used % 12, 0);
        consumed += static_cast<std::size_t>(used);
    }
    enc.Encoder_EncoderClose();
    const auto file = test::readFileBytes(dir / "a.raw");
    EXPECT_EQ(consumed, 166U * 12U);
    // The 2 frames left over went out at close as one zero-padded block.
    ASSERT_EQ(file.size(), 167U * 12U);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), file.begin()));
    EXPECT_TRUE(std::all_of(file.begin() + 2000, file.end(), [](std::uint8_t b) { return b == 0; }));
}

}  // namespace
}  // namespace quillon::acm
