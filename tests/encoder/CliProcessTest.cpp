// quillon-cli process, run as the built program.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "effects/clsDSP.h"
#include "encoder/EncoderWAV.h"
#include "tests/encoder/EncoderTestSupport.h"
#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

using test::TempDir;

struct SndFileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

// A 16-bit PCM WAV written by the encoder itself (same rate and channels out as in).
void writeInput(const std::filesystem::path& path, int rate, int channels, const std::vector<std::int16_t>& samples)
{
    EncoderWAV enc;
    enc.SetPCMFormat(rate, static_cast<std::int16_t>(channels), "", "");
    ASSERT_EQ(enc.Encoder_EncoderInit(rate, static_cast<std::int16_t>(channels), path.string()), 0);
    const auto bytes = test::toBytes(samples);
    const auto second = static_cast<std::size_t>(enc.Encoder_EncoderMetrics(1));
    for (std::size_t off = 0; off < bytes.size(); off += second) {
        std::int32_t used = 0;
        ASSERT_EQ(enc.Encoder_Encode(bytes.data() + off,
                                     static_cast<std::int32_t>(std::min(second, bytes.size() - off)), used),
                  0);
    }
    enc.Encoder_EncoderClose();
}

struct Decoded {
    SF_INFO info{};
    std::vector<int> samples;  // libsndfile's 32-bit scale
};

Decoded decode(const std::filesystem::path& path)
{
    Decoded d;
    std::unique_ptr<SNDFILE, SndFileCloser> file(sf_open(path.c_str(), SFM_READ, &d.info));
    if (!file) {
        return d;
    }
    d.samples.resize(static_cast<std::size_t>(d.info.frames * d.info.channels));
    sf_read_int(file.get(), d.samples.data(), static_cast<sf_count_t>(d.samples.size()));
    return d;
}

std::vector<std::int16_t> to16(const std::vector<int>& s)
{
    std::vector<std::int16_t> out(s.size());
    std::transform(s.begin(), s.end(), out.begin(), [](int v) { return static_cast<std::int16_t>(v >> 16); });
    return out;
}

test::CommandResult cli(std::vector<std::string> args)
{
    args.insert(args.begin(), {QUILLON_CLI, "process"});
    return test::runProgram(args);
}

TEST(CliProcess, NoEffects_copiesTheSamplesAtTheInputsFormat)
{
    TempDir dir;
    const auto samples = test::randomSamples(22050 * 2, 31);
    writeInput(dir / "in.wav", 22050, 2, samples);
    const auto r = cli({(dir / "in.wav").string(), (dir / "out.wav").string()});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output, "");
    const auto d = decode(dir / "out.wav");
    EXPECT_EQ(d.info.samplerate, 22050);
    EXPECT_EQ(d.info.channels, 2);
    EXPECT_EQ(d.info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16);
    EXPECT_EQ(to16(d.samples), samples);
}

TEST(CliProcess, Amplifier_matchesGainAppliedByHand)
{
    TempDir dir;
    const auto samples = test::randomSamples(8000, 32);
    writeInput(dir / "in.wav", 8000, 1, samples);
    const auto r = cli({(dir / "in.wav").string(), (dir / "out.wav").string(), "--effects", "amp", "--amp-db", "-6"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const auto got = to16(decode(dir / "out.wav").samples);
    ASSERT_EQ(got.size(), samples.size());
    // -6 dB is a factor of 10^(-6/20) = 0.501187 as a 32-bit float; products round half to even.
    const float factor = static_cast<float>(std::pow(10.0, -6.0 / 20.0));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const float p = static_cast<float>(samples[i]) * factor;
        ASSERT_EQ(got[i], static_cast<std::int16_t>(std::nearbyint(p))) << i;
    }
}

TEST(CliProcess, EveryEffect_equalsTheChainRunBlockByBlockInProcess)
{
    TempDir dir;
    const auto samples = test::sineSamples(440.0, 9000.0, 44100, 2, 44100);
    writeInput(dir / "in.wav", 44100, 2, samples);
    const auto r = cli({(dir / "in.wav").string(),
                        (dir / "out.wav").string(),
                        "--effects",
                        "amp,echo,phase,eq",
                        "--amp-db",
                        "2",
                        "--echo-length",
                        "50",
                        "--echo-amp=0.3",
                        "--phase-dry",
                        "0.8",
                        "--phase-wet",
                        "0.7",
                        "--phase-feedback",
                        "0.2",
                        "--phase-sweep-rate",
                        "2",
                        "--phase-sweep-range",
                        "3",
                        "--phase-frequency",
                        "200",
                        "--eq-gains",
                        "3,-3,2,0,1,-2,4"});
    ASSERT_EQ(r.exitCode, 0) << r.output;

    clsDSP dsp;
    dsp.samplerate(44100);
    dsp.Channels(2);
    dsp.EffectsUsed(clsDSP::kAmplify | clsDSP::kEcho | clsDSP::kPhaseShift | clsDSP::kEqualizer);
    dsp.AmplifyDB(2);
    dsp.EchoLength(50);
    dsp.EchoAmp(0.3F);
    dsp.PhaseShiftDry(0.8F);
    dsp.PhaseShiftWet(0.7F);
    dsp.PhaseShiftFeedback(0.2F);
    dsp.PhaseShiftSweepRate(2.0F);
    dsp.PhaseShiftSweepRange(3.0F);
    dsp.PhaseShiftFrequency(200.0F);
    const float gains[] = {3, -3, 2, 0, 1, -2, 4};
    for (int i = 0; i < 7; ++i) {
        dsp.EqualizerBandGainDB(i, gains[i]);
    }
    auto expected = samples;
    for (std::size_t off = 0; off < expected.size(); off += 5120) {
        const std::size_t n = std::min<std::size_t>(5120, expected.size() - off);
        dsp.ProcessSamples(std::span<std::int16_t>(expected.data() + off, n));
    }
    const auto got = to16(decode(dir / "out.wav").samples);
    EXPECT_NE(got, samples);
    EXPECT_EQ(got, expected);
}

TEST(CliProcess, BlocksLongerThanASecond_loseNothing)
{
    // At 8000 Hz mono one second is 16000 bytes; 40000-byte blocks go to the encoder in pieces.
    TempDir dir;
    const auto samples = test::randomSamples(8000 * 3 + 77, 33);
    writeInput(dir / "in.wav", 8000, 1, samples);
    const auto big =
        cli({(dir / "in.wav").string(), (dir / "big.wav").string(), "--effects", "echo", "--block-bytes", "40000"});
    ASSERT_EQ(big.exitCode, 0) << big.output;
    const auto small = cli({(dir / "in.wav").string(), (dir / "small.wav").string(), "--effects", "echo"});
    ASSERT_EQ(small.exitCode, 0) << small.output;
    const auto a = decode(dir / "big.wav");
    EXPECT_EQ(a.info.frames, static_cast<sf_count_t>(samples.size()));
    EXPECT_EQ(a.samples, decode(dir / "small.wav").samples);
}

TEST(CliProcess, AnyBlockSize_equalsTheChainBlockByBlock_nothingLostWhereReadsAndWritesSplit)
{
    // The file is read and encoded a second at a time while the effects run per block: block
    // sizes that split stereo frames, that do not divide a second, and a last partial block.
    TempDir dir;
    const auto samples = test::sineSamples(700.0, 12000.0, 44100, 2, 44100 * 2 + 1234);
    writeInput(dir / "in.wav", 44100, 2, samples);
    for (const std::size_t blockBytes : {6U, 1002U, 10240U, 176400U, 200000U}) {
        const auto r = cli({(dir / "in.wav").string(), (dir / "out.wav").string(), "--effects", "echo,phase,eq",
                            "--eq-gains", "9,-6,3", "--block-bytes", std::to_string(blockBytes)});
        ASSERT_EQ(r.exitCode, 0) << blockBytes << ": " << r.output;

        clsDSP dsp;
        dsp.samplerate(44100);
        dsp.Channels(2);
        dsp.EffectsUsed(clsDSP::kEcho | clsDSP::kPhaseShift | clsDSP::kEqualizer);
        dsp.EqualizerBands(3);
        dsp.EqualizerBandGainDB(0, 9.0F);
        dsp.EqualizerBandGainDB(1, -6.0F);
        dsp.EqualizerBandGainDB(2, 3.0F);
        auto expected = samples;
        const std::size_t block = blockBytes / 2;
        for (std::size_t off = 0; off < expected.size(); off += block) {
            dsp.ProcessSamples(std::span<std::int16_t>(expected.data() + off, std::min(block, expected.size() - off)));
        }
        const auto got = to16(decode(dir / "out.wav").samples);
        EXPECT_EQ(got, expected) << "block of " << blockBytes << " bytes";
    }
}

TEST(CliProcess, FormatOption_writesTheChosenFormat)
{
    TempDir dir;
    writeInput(dir / "in.wav", 44100, 2, test::sineSamples(1000.0, 8000.0, 44100, 2, 44100));
    struct Row {
        const char* spec;
        int rate;
        int channels;
        int subtype;
    };
    const Row rows[] = {{"pcm:22050:1:24", 22050, 1, SF_FORMAT_PCM_24},
                        {"pcm:48000:2:f32", 48000, 2, SF_FORMAT_FLOAT},
                        {"pcm:8000:1:8", 8000, 1, SF_FORMAT_PCM_U8}};
    for (const auto& row : rows) {
        const auto out = dir / "out.wav";
        const auto r = cli({(dir / "in.wav").string(), out.string(), "--format", row.spec});
        ASSERT_EQ(r.exitCode, 0) << row.spec << ": " << r.output;
        const auto d = decode(out);
        EXPECT_EQ(d.info.samplerate, row.rate) << row.spec;
        EXPECT_EQ(d.info.channels, row.channels) << row.spec;
        EXPECT_EQ(d.info.format & SF_FORMAT_SUBMASK, row.subtype) << row.spec;
        EXPECT_NEAR(static_cast<double>(d.info.frames), row.rate, 1.0) << row.spec;
    }
}

TEST(CliProcess, BadInputOrOption_oneLineNonZeroExit_outputUntouched)
{
    TempDir dir;
    writeInput(dir / "in.wav", 44100, 2, test::randomSamples(1000, 34));
    {
        std::ofstream(dir / "text.wav") << "hello, not a wave file";
    }
    // An 8-bit file, written by the encoder as PCM U8.
    {
        EncoderWAV enc;
        const auto u8 = MakePCMFormat(8000, 1, 8).bytes();
        enc.SetFormat(u8.data(), 18, "", "");
        ASSERT_EQ(enc.Encoder_EncoderInit(8000, 1, (dir / "u8.wav").string()), 0);
        std::vector<std::uint8_t> block(200, 0);
        std::int32_t used = 0;
        enc.Encoder_Encode(block.data(), 200, used);
        enc.Encoder_EncoderClose();
    }
    const auto in = (dir / "in.wav").string();
    const auto out = dir / "keep.wav";
    const std::string sentinel = "existing output";
    const std::vector<std::vector<std::string>> rows = {
        {(dir / "missing.wav").string(), out.string()},
        {(dir / "text.wav").string(), out.string()},
        {(dir / "u8.wav").string(), out.string()},
        {in, out.string(), "--amp-db", "loud"},
        {in, out.string(), "--amp-db"},
        {in, out.string(), "--echo-amp", "inf"},
        {in, out.string(), "--echo-length", "-5"},
        {in, out.string(), "--effects", "amp,reverb"},
        {in, out.string(), "--eq-gains", "1,2,x"},
        {in, out.string(), "--eq-gains", "1,1,1,1,1,1,1,1,1,1,1"},
        {in, out.string(), "--format", "pcm:0:2:16"},
        {in, out.string(), "--format", "pcm:44100:3:16"},
        {in, out.string(), "--format", "pcm:44100:2:12"},
        {in, out.string(), "--format", "mp3:44100:2"},
        {in, out.string(), "--format", "pcm:44100:2"},
        {in, out.string(), "--format", "pcm:-44100:2:16"},
        {in, out.string(), "--format", "alaw:4294975296:1"},  // 2^32 + 8000
        {in, out.string(), "--format", "ima-adpcm:8000:-1"},
        {in, out.string(), "--block-bytes", "0"},
        {in, out.string(), "--block-bytes", "1001"},
        {in, out.string(), "--loudness", "3"},
        {in},
    };
    for (const auto& args : rows) {
        {
            std::ofstream(out, std::ios::trunc) << sentinel;
        }
        const auto r = cli(args);
        std::string joined;
        for (const auto& a : args) {
            joined += a + " ";
        }
        EXPECT_NE(r.exitCode, 0) << joined;
        EXPECT_LT(r.exitCode, 128) << joined << ": killed by a signal";
        EXPECT_EQ(r.output.rfind("quillon-cli process: ", 0), 0U) << joined << ": " << r.output;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << joined << ": " << r.output;
        std::ifstream check(out);
        const std::string kept((std::istreambuf_iterator<char>(check)), std::istreambuf_iterator<char>());
        EXPECT_EQ(kept, sentinel) << joined;
    }
}

TEST(CliProcess, UnwritableOutput_oneLineNonZeroExit)
{
    TempDir dir;
    writeInput(dir / "in.wav", 8000, 1, test::randomSamples(100, 35));
    const auto r = cli({(dir / "in.wav").string(), (dir / "no" / "such" / "out.wav").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, "quillon-cli process: cannot create '" + (dir / "no" / "such" / "out.wav").string() +
                            "': No such file or directory\n");
}

std::vector<std::string> folderNames(const std::filesystem::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The output names the input itself, or the run fails half-way: the input and any existing
// output keep every byte, and no temporary file is left behind.
TEST(CliProcess, OutputIsTheInputOrTheRunFails_noFileLosesAByte)
{
    TempDir dir;
    writeInput(dir / "a.wav", 8000, 1, test::randomSamples(40000, 36));
    std::filesystem::create_directory(dir / "x");
    std::filesystem::create_hard_link(dir / "a.wav", dir / "hard.wav");
    std::filesystem::create_symlink(dir / "a.wav", dir / "soft.wav");
    {
        std::ofstream(dir / "keep.wav") << "existing output";
    }
    const auto input = test::readFileBytes(dir / "a.wav");
    const auto a = (dir / "a.wav").string();
    struct Row {
        std::vector<std::string> argv;
        std::filesystem::path untouched;
    };
    const std::vector<Row> rows = {
        {{QUILLON_CLI, "process", a, a}, dir / "a.wav"},
        {{QUILLON_CLI, "process", a, (dir / "x" / ".." / "a.wav").string()}, dir / "a.wav"},
        {{QUILLON_CLI, "process", a, (dir / "hard.wav").string()}, dir / "a.wav"},
        {{QUILLON_CLI, "process", a, (dir / "soft.wav").string()}, dir / "a.wav"},
        {{QUILLON_CLI, "process", (dir / "soft.wav").string(), a}, dir / "a.wav"},
        // The file-size limit stops the write half-way, as a full disk would.
        {{"prlimit", "--fsize=20000", QUILLON_CLI, "process", a, (dir / "keep.wav").string()}, dir / "keep.wav"},
    };
    const auto names = folderNames(dir.path());
    for (const auto& row : rows) {
        const auto before = test::readFileBytes(row.untouched);
        const auto r = test::runProgram(row.argv);
        EXPECT_NE(r.exitCode, 0) << row.argv.back();
        EXPECT_EQ(r.output.rfind("quillon-cli process: ", 0), 0U) << r.output;
        EXPECT_EQ(test::readFileBytes(row.untouched), before) << row.argv.back();
        EXPECT_EQ(folderNames(dir.path()), names) << row.argv.back();
    }
    EXPECT_EQ(test::readFileBytes(dir / "a.wav"), input);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "soft.wav"));
}

}  // namespace
}  // namespace quillon
