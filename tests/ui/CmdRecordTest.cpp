// quillon-cli record against the private sound server.
#include <gtest/gtest.h>

#include <algorithm>
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
    // Too short to hold a millisecond, or beyond what the recorded time can count.
    for (const char* seconds : {"inf", "-inf", "nan", "1e-9", "0", "-1", "1e300", ""}) {
        const auto r = test::runProgram({kCli, "record", "--home", home.path().string(), "--seconds", seconds});
        EXPECT_EQ(r.exitCode, 2) << seconds;
        EXPECT_NE(r.output.find("bad value for --seconds"), std::string::npos) << r.output;
        EXPECT_FALSE(std::filesystem::exists(home / "file")) << seconds;
    }
    const auto badRate = test::runProgram({kCli, "record", "--home", home.path().string(), "--rate", "96001"});
    EXPECT_EQ(badRate.exitCode, 1);
    EXPECT_NE(badRate.output.find("96000"), std::string::npos) << badRate.output;
    const auto badOption = test::runProgram({kCli, "record", "--effects", "reverb"});
    EXPECT_EQ(badOption.exitCode, 2);
    EXPECT_NE(badOption.output.find("reverb"), std::string::npos);
}

// The window with no display to show on: one line saying so and how to record anyway.
TEST(Window, NoDisplay_saysSoInOneLineAndExits1)
{
    const std::string gui = std::string(QUILLON_BINARY_DIR) + "/app/gui/quillon";
    if (!std::filesystem::exists(gui)) {
        GTEST_SKIP() << "the window is not built";
    }
    test::TempDir home;
    for (const char* display : {"", ":97"}) {
        const auto r = test::runProgram({"env", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM",
                                         std::string("DISPLAY=") + display, gui, "--home", home.path().string()});
        EXPECT_EQ(r.exitCode, 1) << display;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
        EXPECT_NE(r.output.find("no display"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("quillon-cli record"), std::string::npos) << r.output;
    }
}

}  // namespace
}  // namespace quillon
