// quillon-cli record against the private sound server.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

const std::string kCli = std::string(QUILLON_BINARY_DIR) + "/app/quillon-cli";

bool haveServer()
{
    return std::getenv("PULSE_SERVER") != nullptr;
}

TEST(CmdRecord, RecordsIntoTheNextNumberedFileAndAdvancesTheCounter)
{
    if (!haveServer()) {
        GTEST_SKIP() << "no private sound server (PULSE_SERVER unset): scripts/test.sh starts one";
    }
    test::TempDir home;
    const auto r = test::runProgram(
        {kCli, "record", "--home", home.path().string(), "--seconds", "0.5", "--effects", "echo,eq,amp,phase"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const auto first = home / "file" / "录音1.wav";
    EXPECT_NE(r.output.find(first.string()), std::string::npos) << r.output;
    const auto info = test::runProgram({"soxi", "-r", first.string()});
    EXPECT_EQ(info.exitCode, 0) << info.output;
    EXPECT_EQ(info.output, "44100\n");
    const auto ini = test::readFileBytes(home / "nu.ini");
    EXPECT_EQ(std::string(ini.begin(), ini.end()), "2\r\n");
    EXPECT_TRUE(std::filesystem::exists(home / "file" / "录音2.wav"));
}

TEST(CmdRecord, OutFileKeepsTheNumberingAloneAndFormatApplies)
{
    if (!haveServer()) {
        GTEST_SKIP() << "no private sound server (PULSE_SERVER unset): scripts/test.sh starts one";
    }
    test::TempDir home;
    const auto out = home / "take.wav";
    const auto r = test::runProgram({kCli, "record", "--home", home.path().string(), "--seconds", "0.3", "--rate",
                                     "8000", "--channels", "1", "--out", out.string()});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const auto info = test::runProgram({"soxi", "-r", out.string()});
    EXPECT_EQ(info.output, "8000\n");
    EXPECT_EQ(test::runProgram({"soxi", "-c", out.string()}).output, "1\n");
    EXPECT_FALSE(std::filesystem::exists(home / "nu.ini"));
}

TEST(CmdRecord, RefusedStartsEndWithTheWindowsMessageAndNonZero)
{
    test::TempDir home;
    const auto badRate = test::runProgram({kCli, "record", "--home", home.path().string(), "--rate", "96001"});
    EXPECT_EQ(badRate.exitCode, 1);
    EXPECT_NE(badRate.output.find("96000"), std::string::npos) << badRate.output;
    const auto badOption = test::runProgram({kCli, "record", "--effects", "reverb"});
    EXPECT_EQ(badOption.exitCode, 2);
    EXPECT_NE(badOption.output.find("reverb"), std::string::npos);
}

}  // namespace
}  // namespace quillon
