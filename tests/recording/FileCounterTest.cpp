#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <fstream>
#include <string>

#include "recording/FileCounter.h"
#include "recording/ProgramFolder.h"
#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

QString qpath(const std::filesystem::path& p)
{
    return QString::fromStdString(p.string());
}

void writeFile(const QString& path, const std::string& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    std::ofstream(path.toStdString(), std::ios::binary) << content;
}

std::string readFile(const QString& path)
{
    const auto bytes = test::readFileBytes(path.toStdString());
    return {bytes.begin(), bytes.end()};
}

TEST(ParseCounter, AcceptsOnlyASigned16BitDecimalOnTheFirstLine)
{
    EXPECT_EQ(ParseCounter("41\r\n"), 41);
    EXPECT_EQ(ParseCounter("41"), 41);
    EXPECT_EQ(ParseCounter("-32768\r\n"), -32768);
    EXPECT_EQ(ParseCounter("32767\r\n7\r\n"), 32767);  // only the first line counts
    EXPECT_EQ(ParseCounter("0\n"), 0);
    EXPECT_EQ(ParseCounter("007\r\n"), 7);
    for (const char* bad :
         {"", "\r\n", "-", "32768", "-32769", "99999999999999999999", " 41", "41 ", "4a1", "+41", "--1", "４１"}) {
        EXPECT_FALSE(ParseCounter(bad).has_value()) << '"' << bad << '"';
    }
}

TEST(FileCounter, AutomaticNamesAndTheSavedLine)
{
    EXPECT_EQ(AutoFileName(QStringLiteral("/p"), 12), QStringLiteral("/p/file/录音12.wav"));
    EXPECT_EQ(AutoFileName(QStringLiteral("/p"), -32768), QStringLiteral("/p/file/录音-32768.wav"));

    test::TempDir dir;
    const QString folder = qpath(dir.path());
    ASSERT_TRUE(SaveCounter(folder, -5));
    EXPECT_EQ(readFile(folder + "/nu.ini"), "-5\r\n");
    ASSERT_TRUE(SaveCounter(folder, 42));
    EXPECT_EQ(readFile(folder + "/nu.ini"), "42\r\n");
    // The replacement leaves nothing but nu.ini behind.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("nu.ini")});
}

TEST(FileCounter, LoadFallsBackToTheFirstFreeNumberAndRewritesTheFile)
{
    for (const char* content : std::initializer_list<const char*>{"", "abc\r\n", "70000\r\n", nullptr}) {
        test::TempDir dir;
        const QString folder = qpath(dir.path());
        if (content != nullptr) {
            writeFile(folder + "/nu.ini", content);
        }
        writeFile(AutoFileName(folder, 1), "RIFF....");  // a recording already there
        writeFile(AutoFileName(folder, 2), "");          // an empty prepared file is free
        EXPECT_EQ(LoadCounter(folder), 2) << (content ? content : "(missing)");
        EXPECT_EQ(readFile(folder + "/nu.ini"), "2\r\n");
    }
}

TEST(FileCounter, LoadKeepsAValidCounterButNeverPointsAtARecording)
{
    test::TempDir dir;
    const QString folder = qpath(dir.path());
    writeFile(folder + "/nu.ini", "41\r\n");
    EXPECT_EQ(LoadCounter(folder), 41);
    writeFile(AutoFileName(folder, 41), "data");
    writeFile(AutoFileName(folder, 42), "data");
    EXPECT_EQ(LoadCounter(folder), 43);
}

TEST(FileCounter, NextFreeCounterWrapsAt16Bits)
{
    test::TempDir dir;
    const QString folder = qpath(dir.path());
    writeFile(AutoFileName(folder, 32767), "data");
    EXPECT_EQ(NextFreeCounter(folder, 32767), -32768);
}

TEST(FileCounter, PrepareEmptyFileCreatesButNeverTruncates)
{
    test::TempDir dir;
    const QString fresh = qpath(dir / "file") + "/录音3.wav";  // folder missing too
    ASSERT_TRUE(PrepareEmptyFile(fresh));
    EXPECT_TRUE(QFileInfo::exists(fresh));
    EXPECT_EQ(QFileInfo(fresh).size(), 0);

    writeFile(fresh, "keep me");
    ASSERT_TRUE(PrepareEmptyFile(fresh));
    EXPECT_EQ(readFile(fresh), "keep me");
}

TEST(ProgramFolder, OptionThenEnvironmentThenExecutableFolder_orTheDataFolderWhenInstalled)
{
    test::TempDir dir;
    const QString a = qpath(dir / "a");
    const QString b = qpath(dir / "b");
    const QString c = qpath(dir / "c");
    const QString data = qpath(dir / "data");
    EXPECT_EQ(ChooseProgramFolder(a, b, c, data).path, a);
    EXPECT_EQ(ChooseProgramFolder({}, b, c, data).path, b);
    const auto choice = ChooseProgramFolder({}, {}, c, data);
    EXPECT_EQ(choice.path, c);
    EXPECT_FALSE(choice.fellBack);
    EXPECT_TRUE(ProgramFolderNote(choice).isEmpty());
    EXPECT_TRUE(QFileInfo(c + "/file").isDir());  // the recordings' folder is created

    // An installed executable: the user's data folder without a note, unless asked otherwise.
    for (const QString& bin :
         {QStringLiteral("/usr/bin"), QStringLiteral("/usr/local/bin/"), QStringLiteral(QUILLON_INSTALL_BINDIR)}) {
        const auto installed = ChooseProgramFolder({}, {}, bin, data);
        EXPECT_EQ(installed.path, data + "/Quillon") << bin.toStdString();
        EXPECT_FALSE(installed.fellBack);
        EXPECT_TRUE(ProgramFolderNote(installed).isEmpty());
    }
    EXPECT_EQ(ChooseProgramFolder({}, b, QStringLiteral("/usr/bin"), data).path, b);
    EXPECT_FALSE(IsInstalledExecutableFolder(QStringLiteral("/usrlocal/bin")));
}

TEST(ProgramFolder, AnUnwritableFolderFallsBackToTheDataFolder)
{
    test::TempDir dir;
    writeFile(qpath(dir / "plain"), "x");  // nothing can be created below a plain file, not even as root
    const QString wanted = qpath(dir / "plain") + "/home";
    const auto choice = ChooseProgramFolder(wanted, {}, {}, qpath(dir / "data"));
    EXPECT_TRUE(choice.fellBack);
    EXPECT_EQ(choice.wanted, wanted);
    EXPECT_EQ(choice.path, qpath(dir / "data") + "/Quillon");
    EXPECT_TRUE(QFileInfo(choice.path + "/file").isDir());
    EXPECT_TRUE(ProgramFolderNote(choice).contains(choice.path));
}

}  // namespace
}  // namespace quillon
