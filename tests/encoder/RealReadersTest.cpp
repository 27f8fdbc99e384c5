// Files the encoder writes, opened by independent WAV readers: libsndfile, sox and ffprobe.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <map>

#include "encoder/EncoderWAV.h"
#include "encoder/acm/AcmPcm.h"
#include "tests/encoder/EncoderTestSupport.h"
#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

using test::TempDir;

struct SndFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
using SndFilePtr = std::unique_ptr<SNDFILE, SndFileCloser>;

// Records `samples` (16-bit, `rate` Hz, `channels`) into `path` in the output format `format`,
// in capture-sized blocks of 10240 bytes.
void record(const std::string& path, const std::vector<std::uint8_t>& format, int rate, int channels,
            const std::vector<std::int16_t>& samples)
{
    EncoderWAV enc;
    enc.SetFormat(format.data(), static_cast<std::int32_t>(format.size()), "", "");
    ASSERT_EQ(enc.Encoder_EncoderInit(rate, static_cast<std::int16_t>(channels), path), 0);
    const auto bytes = test::toBytes(samples);
    for (std::size_t off = 0; off < bytes.size(); off += 10240) {
        const auto len = static_cast<std::int32_t>(std::min<std::size_t>(10240, bytes.size() - off));
        std::int32_t used = 0;
        ASSERT_EQ(enc.Encoder_Encode(bytes.data() + off, len, used), 0);
    }
    ASSERT_EQ(enc.Encoder_EncoderClose(), 0);
}

std::map<std::string, std::string> keyValues(const std::string& text)
{
    std::map<std::string, std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end - start);
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) {
            out[line.substr(0, eq)] = line.substr(eq + 1);
        }
        start = end + 1;
    }
    return out;
}

std::string trimmed(const std::string& s)
{
    const auto b = s.find_first_not_of(" \n\r\t");
    const auto e = s.find_last_not_of(" \n\r\t");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

struct DepthRow {
    const char* name;
    std::uint16_t bits;
    bool isFloat;
    int sndfileSubtype;
    const char* soxEncoding;
    const char* ffmpegCodec;
};

const DepthRow kDepths[] = {
    {"u8", 8, false, SF_FORMAT_PCM_U8, "Unsigned Integer PCM", "pcm_u8"},
    {"s16", 16, false, SF_FORMAT_PCM_16, "Signed Integer PCM", "pcm_s16le"},
    {"s24", 24, false, SF_FORMAT_PCM_24, "Signed Integer PCM", "pcm_s24le"},
    {"s32", 32, false, SF_FORMAT_PCM_32, "Signed Integer PCM", "pcm_s32le"},
    {"f32", 32, true, SF_FORMAT_FLOAT, "Floating Point PCM", "pcm_f32le"},
};

TEST(RealReaders, LibsndfileReadsEveryDepthWithExactSamples)
{
    TempDir dir;
    const auto samples = test::randomSamples(44100 * 2 / 4, 21);  // a quarter second, stereo
    for (const auto& row : kDepths) {
        const auto path = (dir / (std::string(row.name) + ".wav")).string();
        record(path, acm::acmPcmFormat(44100, 2, row.bits, row.isFloat), 44100, 2, samples);
        SF_INFO info{};
        SndFilePtr file(sf_open(path.c_str(), SFM_READ, &info));
        ASSERT_TRUE(file) << row.name << ": " << sf_strerror(nullptr);
        EXPECT_EQ(info.samplerate, 44100) << row.name;
        EXPECT_EQ(info.channels, 2) << row.name;
        EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_WAV) << row.name;
        EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, row.sndfileSubtype) << row.name;
        ASSERT_EQ(info.frames, static_cast<sf_count_t>(samples.size() / 2)) << row.name;
        if (row.isFloat) {
            std::vector<float> got(samples.size());
            ASSERT_EQ(sf_read_float(file.get(), got.data(), static_cast<sf_count_t>(got.size())),
                      static_cast<sf_count_t>(got.size()));
            for (std::size_t i = 0; i < got.size(); ++i) {
                ASSERT_EQ(got[i], static_cast<float>(samples[i]) / 32768.0F) << i;
            }
        } else {
            // libsndfile widens every integer depth to the top of an int: s16 << 16 for 16, 24 and
            // 32 bits; 8-bit keeps only s / 256 rounded (halves to even), offset by 128.
            std::vector<int> got(samples.size());
            ASSERT_EQ(sf_read_int(file.get(), got.data(), static_cast<sf_count_t>(got.size())),
                      static_cast<sf_count_t>(got.size()));
            for (std::size_t i = 0; i < got.size(); ++i) {
                const std::int64_t s = samples[i];
                std::int64_t expected = s * 65536;
                if (row.bits == 8) {
                    const double u = std::clamp(std::nearbyint(static_cast<double>(s) / 256.0 + 128.0), 0.0, 255.0);
                    expected = (static_cast<std::int64_t>(u) - 128) * (1LL << 24);
                }
                ASSERT_EQ(got[i], expected) << row.name << " sample " << i;
            }
        }
    }
}

TEST(RealReaders, SoxAndFfprobeAgreeOnRateChannelsDepthAndLength)
{
    if (!test::haveProgram("sox") || !test::haveProgram("ffprobe")) {
        GTEST_SKIP() << "sox or ffprobe missing";
    }
    TempDir dir;
    const auto samples = test::randomSamples(22050, 4);  // one second of 22050 Hz mono
    for (const auto& row : kDepths) {
        const auto path = (dir / (std::string(row.name) + ".wav")).string();
        record(path, acm::acmPcmFormat(22050, 1, row.bits, row.isFloat), 22050, 1, samples);

        auto soxi = [&](const char* flag) { return trimmed(test::runProgram({"sox", "--i", flag, path}).output); };
        EXPECT_EQ(soxi("-r"), "22050") << row.name;
        EXPECT_EQ(soxi("-c"), "1") << row.name;
        EXPECT_EQ(soxi("-b"), std::to_string(row.bits)) << row.name;
        EXPECT_EQ(soxi("-s"), "22050") << row.name;
        EXPECT_EQ(soxi("-e"), row.soxEncoding) << row.name;

        const auto probe = test::runProgram({"ffprobe", "-v", "error", "-show_entries",
                                             "stream=codec_name,sample_rate,channels,duration_ts", "-of",
                                             "default=noprint_wrappers=1", path});
        ASSERT_EQ(probe.exitCode, 0) << probe.output;
        auto kv = keyValues(probe.output);
        EXPECT_EQ(kv["codec_name"], row.ffmpegCodec) << row.name;
        EXPECT_EQ(kv["sample_rate"], "22050") << row.name;
        EXPECT_EQ(kv["channels"], "1") << row.name;
        EXPECT_EQ(kv["duration_ts"], "22050") << row.name;
    }
}

TEST(RealReaders, Resampled44100StereoTo22050Mono_toneAtTheRightFrequency)
{
    TempDir dir;
    const auto path = (dir / "r.wav").string();
    const auto samples = test::sineSamples(1000.0, 12000.0, 44100, 2, 44100);  // 1 s, 1 kHz
    record(path, acm::acmPcmFormat(22050, 1, 16, false), 44100, 2, samples);

    SF_INFO info{};
    SndFilePtr file(sf_open(path.c_str(), SFM_READ, &info));
    ASSERT_TRUE(file);
    EXPECT_EQ(info.samplerate, 22050);
    EXPECT_EQ(info.channels, 1);
    EXPECT_NEAR(static_cast<double>(info.frames), 22050.0, 1.0);
    std::vector<double> got(static_cast<std::size_t>(info.frames));
    sf_read_double(file.get(), got.data(), info.frames);
    // Correlate the middle half with 1 kHz and with 1.02 kHz: a tone at 1 kHz with amplitude
    // 12000 / 32768 gives |X| = A / 2 at 1 kHz and almost nothing 20 Hz away over 0.5 s.
    auto magnitude = [&](double f) {
        double re = 0;
        double im = 0;
        const std::size_t from = got.size() / 4;
        const std::size_t n = got.size() / 2;
        for (std::size_t i = 0; i < n; ++i) {
            const double phase = 2.0 * M_PI * f * static_cast<double>(from + i) / 22050.0;
            re += got[from + i] * std::cos(phase);
            im += got[from + i] * std::sin(phase);
        }
        return std::hypot(re, im) / static_cast<double>(n);
    };
    const double amplitude = 12000.0 / 32768.0;
    EXPECT_NEAR(magnitude(1000.0), amplitude / 2, amplitude / 2 * 0.01);
    EXPECT_LT(magnitude(1020.0), amplitude / 2 * 0.05);
}

}  // namespace
}  // namespace quillon
