// quillon-cli formats and the compressed --format values, run as the built program.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "ReferenceDecoders.h"
#include "encoder/EncoderWAV.h"
#include "encoder/acm/AcmStream.h"
#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

test::CommandResult cli(std::vector<std::string> args)
{
    args.insert(args.begin(), QUILLON_CLI);
    return test::runProgram(args);
}

struct Line {
    std::string text;      // "TAG - DESCRIPTION"
    std::string spelling;  // the --format value
};

std::vector<Line> lines(const std::string& output)
{
    std::vector<Line> out;
    std::istringstream in(output);
    std::string line;
    while (std::getline(in, line)) {
        const auto tab = line.find("\t--format ");
        out.push_back(tab == std::string::npos ? Line{line, ""} : Line{line.substr(0, tab), line.substr(tab + 10)});
    }
    return out;
}

// A 16-bit PCM WAV of a tone, written by the encoder itself.
void writeInput(const std::filesystem::path& path, int rate, int channels, std::size_t frames)
{
    const auto samples = test::Tone(440.0, 660.0, static_cast<std::uint32_t>(rate), channels, frames, 0.5);
    EncoderWAV encoder;
    encoder.SetPCMFormat(rate, static_cast<std::int16_t>(channels), "", "");
    ASSERT_EQ(encoder.Encoder_EncoderInit(rate, static_cast<std::int16_t>(channels), path.string()), 0);
    std::int32_t used = 0;
    ASSERT_EQ(encoder.Encoder_Encode(samples.data(), static_cast<std::int32_t>(samples.size() * 2), used), 0);
    ASSERT_EQ(encoder.Encoder_EncoderClose(), 0);
}

TEST(CliFormats, ListsWhatTheChooserListsAndEveryValueWritesThatFormat)
{
    const auto result = cli({"formats", "--rate", "32000", "--channels", "1"});
    ASSERT_EQ(result.exitCode, 0) << result.output;
    const auto listed = lines(result.output);
    const auto expected = acm::acmFormatEnum(32000, 1);
    ASSERT_EQ(listed.size(), expected.size());

    test::TempDir dir;
    const auto input = dir / "in.wav";
    writeInput(input, 32000, 1, 16000);
    std::set<std::string> spellings;
    for (std::size_t i = 0; i < listed.size(); ++i) {
        SCOPED_TRACE(listed[i].text);
        EXPECT_EQ(listed[i].text, expected[i].tagName + " - " + expected[i].description);
        ASSERT_FALSE(listed[i].spelling.empty());
        EXPECT_TRUE(spellings.insert(listed[i].spelling).second) << "two formats share " << listed[i].spelling;
        if (expected[i].formatTag == 1 || expected[i].formatTag == 3) {
            continue;  // PCM values are the process command's own tests
        }
        // The value must select exactly the listed record: the file's fmt chunk is its bytes.
        const auto output = dir / "out.wav";
        const auto run = cli({"process", input.string(), output.string(), "--format", listed[i].spelling});
        ASSERT_EQ(run.exitCode, 0) << run.output;
        const auto file = test::readFileBytes(output);
        const auto& format = expected[i].format;
        ASSERT_GE(file.size(), 20 + format.size());
        EXPECT_EQ(file[16], format.size());
        EXPECT_TRUE(std::equal(format.begin(), format.end(), file.begin() + 20));
    }
    // Compressed values by name, not just by listing.
    for (const char* spelling :
         {"alaw:32000:1", "ulaw:8000:2", "ima-adpcm:22050:1", "ms-adpcm:44100:2", "gsm610:8000:1"}) {
        EXPECT_EQ(spellings.count(spelling), 1u) << spelling;
    }
}

TEST(CliFormats, BadOptionsAndValuesExitWithOneLine)
{
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"formats", "--rate", "0"},
             {"formats", "--rate", "44.1"},
             {"formats", "--channels", "3"},
             {"formats", "--channels"},
             {"formats", "--bits", "16"},
         }) {
        const auto result = cli(args);
        EXPECT_EQ(result.exitCode, 2) << args.back();
        EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
    }

    test::TempDir dir;
    const auto input = dir / "in.wav";
    writeInput(input, 8000, 1, 800);
    const auto output = dir / "out.wav";
    for (const char* spelling :
         {"gsm610:11025:1", "gsm610:8000:2", "alaw:8000:3", "ima-adpcm:8000", "ms-adpcm:0:1", "ulaw:8000:1:8"}) {
        const auto result = cli({"process", input.string(), output.string(), "--format", spelling});
        EXPECT_NE(result.exitCode, 0) << spelling;
        EXPECT_NE(result.output.find(spelling), std::string::npos) << result.output;
        EXPECT_FALSE(std::filesystem::exists(output)) << spelling;
    }
}

}  // namespace
}  // namespace quillon
