#include "ui/ModFolderSetFileFocus.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"
#include "tests/ui/RecordingOpener.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

using test::RecordingOpener;

QString Q(const fs::path& p)
{
    return QString::fromStdString(p.string());
}

void Touch(const fs::path& p)
{
    std::ofstream(p).put('x');
}

TEST(OpenFolderAndSelectFile, trimsBlanksAndSelectsTheFileInTheFileManager)
{
    test::TempDir dir;
    Touch(dir / "take.wav");
    RecordingOpener opener;

    EXPECT_TRUE(OpenFolderAndSelectFile(QStringLiteral("  ") + Q(dir / "take.wav") + QStringLiteral("   ")));

    ASSERT_EQ(opener.shown.size(), 1U);
    EXPECT_EQ(opener.shown[0], QUrl::fromLocalFile(Q(dir / "take.wav")));
    EXPECT_TRUE(opener.opened.empty());
}

TEST(OpenFolderAndSelectFile, returnsFalseAndShowsNothing_whenTheFileIsMissingOrThePathEmpty)
{
    test::TempDir dir;
    RecordingOpener opener;

    EXPECT_FALSE(OpenFolderAndSelectFile(Q(dir / "gone.wav")));
    EXPECT_FALSE(OpenFolderAndSelectFile(QString()));
    EXPECT_FALSE(OpenFolderAndSelectFile(QStringLiteral("   ")));
    // No wildcard search: '*' names no file here although take.wav exists.
    Touch(dir / "take.wav");
    EXPECT_FALSE(OpenFolderAndSelectFile(Q(dir / "*.wav")));

    EXPECT_TRUE(opener.shown.empty());
    EXPECT_TRUE(opener.opened.empty());
}

TEST(OpenFolderAndSelectFile, opensTheFolder_whenTheFileManagerRefuses)
{
    test::TempDir dir;
    Touch(dir / "take.wav");
    RecordingOpener opener;
    opener.fileManagerAnswers = false;

    EXPECT_TRUE(OpenFolderAndSelectFile(Q(dir / "take.wav")));
    ASSERT_EQ(opener.opened.size(), 1U);
    EXPECT_EQ(QFileInfo(opener.opened[0].toLocalFile()).canonicalFilePath(),
              QFileInfo(Q(dir.path())).canonicalFilePath());
}

// What the desktop then does with them: DesktopOpenerTest.cpp.
TEST(OpenFolderAndSelectFile, passesHostileNamesAsExactFileUrls)
{
    test::TempDir dir;
    const std::vector<std::string> names = {"$(touch pwned).wav", "`touch pwned`.wav", "it's \"quoted\".wav",
                                            "-rf take.wav",       "a  b ; c & d.wav",  "录音 12.wav"};
    RecordingOpener opener;
    for (const std::string& name : names) {
        Touch(dir / name);
        ASSERT_TRUE(OpenFolderAndSelectFile(Q(dir / name))) << name;
        const QUrl url = opener.shown.back();
        EXPECT_EQ(url.scheme(), QStringLiteral("file")) << name;
        // The whole path comes back unchanged, so the receiver sees one item and no argument.
        EXPECT_EQ(url.toLocalFile(), Q(dir / name)) << name;
        EXPECT_TRUE(url.toString(QUrl::FullyEncoded).startsWith(QStringLiteral("file:///"))) << name;
        EXPECT_FALSE(url.toString(QUrl::FullyEncoded).contains(QLatin1Char(' '))) << name;
    }
}

TEST(FileExists, findsFilesAndFoldersByExactName)
{
    test::TempDir dir;
    Touch(dir / "a?.wav");
    EXPECT_TRUE(FileExists(Q(dir / "a?.wav")));
    EXPECT_FALSE(FileExists(Q(dir / "ab.wav")));
    EXPECT_TRUE(FileExists(Q(dir.path())));
    EXPECT_FALSE(FileExists(QString()));
}

TEST(TrimBlanks, removesSpacesAtBothEndsOnly)
{
    EXPECT_EQ(TrimBlanks(QStringLiteral("  /a b/c.wav ")), QStringLiteral("/a b/c.wav"));
    EXPECT_EQ(TrimBlanks(QStringLiteral("   ")), QString());
    EXPECT_EQ(TrimBlanks(QStringLiteral("\t/x\t")), QStringLiteral("\t/x\t"));
}

}  // namespace
}  // namespace quillon
