// quillon-cli record on a real file system and a PulseAudio server of the test's own: the
// paths that used to lose, overwrite or empty a file.
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/WaveFormat.h"
#include "encoder/WavRepair.h"
#include "tests/support/Programs.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WavBuilder.h"

namespace quillon {
namespace {

using test::PrivatePulse;
namespace fs = std::filesystem;

using test::readFileText;
using test::writeFile;

// The cut recording as text, so each row's contents are one type.
std::string cutRecording(std::size_t audio)
{
    const auto b = test::cutRecording(audio);
    return {b.begin(), b.end()};
}

// quillon-cli repair on files of every kind: what it changes, and what it refuses.
TEST(CliRepair, MendsCutRecordingsLeavesTheRestAndSaysWhat)
{
    test::TempDir dir;
    struct Row {
        const char* name;
        std::string content;  // empty: no such file
        std::string said;
        std::string after;  // the file's bytes afterwards
    };
    const std::string cut = cutRecording(1001);
    std::string mended = cut.substr(0, 46 + 1000);
    mended.replace(4, 4, std::string("\x0e\x04\0\0", 4));   // 1038 = 1046 - 8
    mended.replace(42, 4, std::string("\xe8\x03\0\0", 4));  // 1000
    const std::vector<Row> rows = {
        {"cut.wav", cut, "cut.wav: repaired: 1000 bytes of audio, 1 bytes of a partial frame cut off", mended},
        {"whole.wav", mended, "whole.wav: intact, nothing changed", mended},
        {"notes.wav", "not a recording at all", "notes.wav: not a WAV file, left alone", "not a recording at all"},
        {"missing.wav", "", "missing.wav: cannot be opened", ""},
    };
    std::vector<std::string> argv = {QUILLON_CLI, "repair"};
    for (const auto& row : rows) {
        if (!row.content.empty()) {
            writeFile(dir / row.name, row.content);
        }
        argv.push_back((dir / row.name).string());
    }
    const auto r = test::runProgram(argv);
    EXPECT_EQ(r.exitCode, 1) << r.output;
    for (const auto& row : rows) {
        EXPECT_NE(r.output.find(row.said), std::string::npos) << r.output;
        if (!row.after.empty()) {
            EXPECT_TRUE(readFileText(dir / row.name) == row.after) << row.name;
        }
    }
    EXPECT_EQ(getLE32(&test::readFileBytes(dir / "cut.wav").at(42)), 1000U);
    const auto good = test::runProgram({QUILLON_CLI, "repair", (dir / "cut.wav").string()});
    EXPECT_EQ(good.exitCode, 0) << good.output;
}

class DataLossCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* tool : {"pulseaudio", "pactl", "unshare"}) {
            if (!test::haveProgram(tool)) {
                GTEST_SKIP() << tool << " is not installed";
            }
        }
        fs::create_directories(home / "file");
        if (!pulse.ok()) {
            GTEST_SKIP() << "the private PulseAudio server did not start";
        }
    }

    [[nodiscard]] std::vector<std::string> cli(std::vector<std::string> extra) const
    {
        std::vector<std::string> argv = {
            "env", "PULSE_SERVER=" + pulse.server(), QUILLON_CLI, "record", "--home", home.string()};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return argv;
    }
    [[nodiscard]] test::CommandResult record(std::vector<std::string> extra) const
    {
        return test::runProgram(cli(std::move(extra)));
    }
    // Runs `script` as root of a private mount namespace ($1 home, $2 quillon-cli, $3 kept),
    // so it may mount a small tmpfs; exit code 77 when that is not allowed.
    [[nodiscard]] test::CommandResult inMountNamespace(const std::string& script) const
    {
        return test::runProgram({"env", "PULSE_SERVER=" + pulse.server(), "unshare", "-m", "sh", "-c", script, "sh",
                                 home.string(), QUILLON_CLI, kept.string()});
    }

    test::TempDir runtime;
    fs::path home = runtime / "home";
    fs::path kept = runtime / "kept";
    PrivatePulse pulse{runtime / "pulse"};
};

// A full disk at the stop: the counter cannot be saved, the old nu.ini stays and the user
// hears about it.
TEST_F(DataLossCli, FullDisk_keepsTheOldCounterFileAndSaysItCouldNotBeSaved)
{
    fs::create_directories(kept);
    const auto r = inMountNamespace(
        "mount -t tmpfs -o size=256k tmpfs \"$1\" 2>/dev/null || exit 77\n"
        "mkdir \"$1/file\"; printf '5\\r\\n' > \"$1/nu.ini\"\n"
        "dd if=/dev/zero of=\"$1/fill\" bs=4k 2>/dev/null\n"
        "\"$2\" record --home \"$1\" --seconds 0.3; rc=$?\n"
        "cp \"$1/nu.ini\" \"$3/\"; ls -a \"$1\" > \"$3/names\"; exit $rc\n");
    if (r.exitCode == 77) {
        GTEST_SKIP() << "no tmpfs mount allowed here";
    }
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_EQ(readFileText(kept / "nu.ini"), "5\r\n") << r.output;
    EXPECT_NE(r.output.find("无法保存到 nu.ini"), std::string::npos) << r.output;
    EXPECT_EQ(readFileText(kept / "names"), ".\n..\nfile\nfill\nnu.ini\n") << "a temporary was left behind";
}

// nu.ini as a symbolic link: read through it, never written through it.
TEST_F(DataLossCli, LinkedCounterFile_isReadButNeverWrittenThrough)
{
    struct Row {
        const char* what;
        const char* target;  // nullptr: the link dangles
        std::string recorded;
        std::string saved;
    };
    const std::vector<Row> rows = {
        {"link to a counter", "7\r\n", "录音7.wav", "8\r\n"},
        {"link to an unrelated file", "my notes\n", "录音1.wav", "2\r\n"},
        {"dangling link", nullptr, "录音1.wav", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(home);
        fs::create_directories(home / "file");
        const fs::path other = runtime / "other.txt";
        fs::remove(other);
        if (row.target != nullptr) {
            writeFile(other, row.target);
        }
        fs::create_symlink(other, home / "nu.ini");

        const auto r = record({"--seconds", "0.2"});
        EXPECT_EQ(r.exitCode, 0) << r.output;
        EXPECT_GT(fs::file_size(home / "file" / row.recorded), 46U) << r.output;
        EXPECT_NE(r.output.find("nu.ini"), std::string::npos) << r.output;
        if (row.target != nullptr) {
            EXPECT_EQ(readFileText(other), row.target) << "written through the link";
            EXPECT_FALSE(fs::is_symlink(home / "nu.ini"));
            EXPECT_EQ(readFileText(home / "nu.ini"), row.saved);
        } else {
            EXPECT_FALSE(fs::exists(other)) << "the dangling link's target was created";
            EXPECT_TRUE(fs::is_symlink(home / "nu.ini"));
        }
    }
}

// Every round of --repeat gets a file of its own; a name that exists is never reused.
TEST_F(DataLossCli, RepeatedRoundsIntoANamedFile_eachKeepTheirTake)
{
    const fs::path out = runtime / "take.wav";
    writeFile(runtime / "take-2.wav", "an older take");
    const auto r = record({"--out", out.string(), "--repeat", "3", "--seconds", "0.2"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    for (const char* name : {"take.wav", "take-3.wav", "take-4.wav"}) {
        ASSERT_TRUE(fs::exists(runtime / name)) << name << ": " << r.output;
        EXPECT_GT(fs::file_size(runtime / name), 46U + 17640) << name;
        EXPECT_NE(r.output.find((runtime / name).string()), std::string::npos) << r.output;
    }
    EXPECT_EQ(readFileText(runtime / "take-2.wav"), "an older take");
    EXPECT_FALSE(fs::exists(runtime / "take-5.wav"));
    EXPECT_FALSE(fs::exists(home / "nu.ini"));
}

// With every number from -32768 to 32767 holding a recording, nothing is recorded.
TEST_F(DataLossCli, NoFreeNumber_refusesToRecordAndOverwritesNothing)
{
    for (int n = -32768; n <= 32767; ++n) {
        writeFile(home / "file" / ("录音" + std::to_string(n) + ".wav"), "x");
    }
    writeFile(home / "nu.ini", "100\r\n");
    const auto r = record({"--seconds", "0.2"});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("录音编号都已被"), std::string::npos) << r.output;
    EXPECT_EQ(fs::file_size(home / "file" / "录音100.wav"), 1U) << "overwritten";
    EXPECT_EQ(readFileText(home / "nu.ini"), "100\r\n");
}

// Two recorders started at the same moment into one program folder both record, each into
// a number of its own.
TEST_F(DataLossCli, TwoRecordersAtOnce_bothStartWithDifferentNumbers)
{
    for (int trial = 0; trial < 4; ++trial) {
        SCOPED_TRACE(trial);
        fs::remove_all(home);
        fs::create_directories(home / "file");
        test::Spawned a({QUILLON_CLI, "record", "--home", home.string(), "--seconds", "0.5"}, pulse.server(),
                        runtime / "a.log");
        test::Spawned b({QUILLON_CLI, "record", "--home", home.string(), "--seconds", "0.5"}, pulse.server(),
                        runtime / "b.log");
        EXPECT_EQ(a.wait(std::chrono::seconds(20)), 0) << readFileText(runtime / "a.log");
        EXPECT_EQ(b.wait(std::chrono::seconds(20)), 0) << readFileText(runtime / "b.log");
        int takes = 0;
        for (const auto& e : fs::directory_iterator(home / "file")) {
            takes += e.file_size() > 46 + 44100 ? 1 : 0;
        }
        EXPECT_EQ(takes, 2) << readFileText(runtime / "a.log") << readFileText(runtime / "b.log");
        EXPECT_EQ(readFileText(home / "nu.ini"), "3\r\n");
    }
}

// A start that fails says, on the line after the window's sentence, what was refused and why.
TEST_F(DataLossCli, FailedStart_namesThePathAndTheSystemsReason)
{
    fs::create_directories(runtime / "adir");
    const std::string missing = (runtime / "missing" / "x.wav").string();
    const std::string folder = (runtime / "adir").string();
    struct Row {
        std::vector<std::string> argv;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {cli({"--out", missing}), "无法初始化编码器!\n" + missing + ": No such file or directory\n"},
        {cli({"--out", folder}), "无法初始化编码器!\n" + folder + ": Is a directory\n"},
        {{"env", "PULSE_SERVER=unix:/nonexistent/pulse", QUILLON_CLI, "record", "--home", home.string(), "--out",
          (runtime / "y.wav").string()},
         "不能启动录音功能!\nunix:/nonexistent/pulse: "},
    };
    for (const auto& row : rows) {
        const auto r = test::runProgram(row.argv);
        EXPECT_EQ(r.exitCode, 1) << r.output;
        EXPECT_NE(r.output.find(row.expected), std::string::npos) << r.output;
    }
}

// A take that a crash cut short where --out put it is not overwritten by the next run, which
// says how to mend it.
TEST_F(DataLossCli, CutShortTakeAtTheOutPath_isKeptAndTheRepairIsNamed)
{
    const fs::path out = runtime / "take.wav";
    writeFile(out, cutRecording(4000));
    const auto r = record({"--out", out.string(), "--seconds", "0.2"});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("quillon-cli repair " + out.string()), std::string::npos) << r.output;
    EXPECT_EQ(readFileText(out), cutRecording(4000));
}

// A terminating signal to the command line or the window runs the stop (close) sequence: the
// file is complete and the counter saved, nothing is left for the next start to repair.
TEST_F(DataLossCli, TerminatingSignals_finishTheFileAndSaveTheCounter)
{
    const std::string gui = std::string(QUILLON_BINARY_DIR) + "/app/gui/quillon";
    struct Row {
        bool window;
        int signal;
    };
    const std::vector<Row> rows = {{false, SIGTERM}, {false, SIGHUP}, {true, SIGINT}, {true, SIGTERM}, {true, SIGHUP}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.window ? "window " : "quillon-cli ") + strsignal(row.signal));
        if (row.window && !fs::exists(gui)) {
            continue;
        }
        fs::remove_all(home);
        fs::create_directories(home / "file");
        const std::vector<std::string> argv =
            row.window ? std::vector<std::string>{"/usr/bin/env",
                                                  "QT_QPA_PLATFORM=offscreen",
                                                  gui,
                                                  "--home",
                                                  home.string(),
                                                  "--demo-record",
                                                  "0"}
                       : std::vector<std::string>{QUILLON_CLI, "record", "--home", home.string(), "--seconds", "60"};
        test::Spawned program(argv, pulse.server(), runtime / "program.log");
        const fs::path take = home / "file" / "录音1.wav";
        const auto until = test::Clock::now() + std::chrono::seconds(15);
        std::error_code ec;
        while (test::Clock::now() < until && !(fs::file_size(take, ec) > 46 + 44100 && !ec)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        program.kill(row.signal);
        EXPECT_EQ(program.wait(std::chrono::seconds(10)), 0) << readFileText(runtime / "program.log");
        const auto bytes = test::readFileBytes(take);
        EXPECT_GT(bytes.size(), 46U + 44100);
        EXPECT_EQ(planWavRepair(MemoryByteSource(bytes)).verdict, WavVerdict::Intact) << "left for a repair";
        EXPECT_EQ(readFileText(home / "nu.ini"), "2\r\n");
        EXPECT_TRUE(fs::exists(home / "file" / "录音2.wav"));
    }
}

// Names that are not UTF-8 reach the file system byte for byte; nothing lands on the file
// whose name shows U+FFFD instead.
TEST_F(DataLossCli, NonUtf8Names_areUsedByteForByte)
{
    const fs::path out = runtime / "a\xe9.wav";
    const fs::path lookalike = runtime / "a\xef\xbf\xbd.wav";
    writeFile(lookalike, "unrelated");
    const auto r = record({"--out", out.string(), "--seconds", "0.2"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_GT(fs::file_size(out), 46U + 17640);
    EXPECT_EQ(readFileText(lookalike), "unrelated");
    EXPECT_NE(r.output.find(out.string() + "\n"), std::string::npos) << r.output;

    const fs::path oddHome = runtime / "home\xe9";
    const auto refused =
        test::runProgram({"env", "PULSE_SERVER=" + pulse.server(), QUILLON_CLI, "record", "--home", oddHome.string()});
    EXPECT_EQ(refused.exitCode, 2) << refused.output;
    EXPECT_NE(refused.output.find("not valid UTF-8"), std::string::npos) << refused.output;
    EXPECT_FALSE(fs::exists(oddHome));
    EXPECT_FALSE(fs::exists(runtime / "home\xef\xbf\xbd"));
}

}  // namespace
}  // namespace quillon
