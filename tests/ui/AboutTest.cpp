#include "ui/About.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <fstream>
#include <vector>

#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

QStringList LabelTexts(const QWidget& w)
{
    QStringList texts;
    for (const QLabel* label : w.findChildren<QLabel*>()) {
        texts << label->text();
    }
    return texts;
}

TEST(About, showsCaptionVersionTextsAndButtons)
{
    About about(QStringLiteral("/opt/quillon"));
    EXPECT_EQ(about.windowTitle(), QStringLiteral("Quillon-关于我们"));
    const QStringList texts = LabelTexts(about);
    for (const char* expected :
         {"Quillon3.91", "感谢您使用我们的软件！！", "录音前请先对系统和软件设置，详见帮助！", "联系我们："}) {
        EXPECT_TRUE(texts.contains(QString::fromUtf8(expected))) << expected;
    }
    EXPECT_TRUE(texts.filter(QStringLiteral("nu.ini")).size() == 1);
    EXPECT_TRUE(texts.contains(QStringLiteral("/opt/quillon")));
    EXPECT_EQ(about.OkButton()->text(), QStringLiteral("确定"));
    EXPECT_EQ(about.HelpButton()->text(), QStringLiteral("帮助(&H)"));
    EXPECT_EQ(about.size(), QSize(278, 199));
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
}

// The viewer's side of a hostile folder name: DesktopOpenerTest.cpp.
TEST(About, helpOpensThePageOfTheProgramFolderAsAFileUrl_evenWithHostileFolderNames)
{
    test::TempDir dir;
    const QString folder = QString::fromStdString((dir / "my \"app\" $(touch pwned)").string());
    std::vector<QUrl> opened;
    About about(folder, nullptr, [&opened](const QUrl& url) {
        opened.push_back(url);
        return false;  // a missing viewer or page is not reported
    });

    about.HelpButton()->click();

    ASSERT_EQ(opened.size(), 1U);
    EXPECT_TRUE(opened[0].isLocalFile());
    EXPECT_EQ(opened[0].toLocalFile(), folder + QStringLiteral("/bangzhu.htm"));
}

TEST(About, helpPageComesFromTheProgramFolder_elseFromBesideTheExecutable_elseTheInstalledOne)
{
    test::TempDir home;
    test::TempDir bin;
    const QString homePath = QString::fromStdString(home.path().string());
    const QString binPath = QString::fromStdString(bin.path().string());
    std::ofstream(bin / "bangzhu.htm") << "<html></html>";
    EXPECT_EQ(About::HelpUrl(homePath, binPath).toLocalFile(), binPath + QStringLiteral("/bangzhu.htm"));
    std::ofstream(home / "bangzhu.htm") << "<html></html>";
    EXPECT_EQ(About::HelpUrl(homePath, binPath).toLocalFile(), homePath + QStringLiteral("/bangzhu.htm"));
    // Installed: the page under the data folder, seen from the binary folder.
    test::TempDir prefix;
    const QString installedBin = QString::fromStdString((prefix / "bin").string());
    const QString share = QDir(installedBin).absoluteFilePath(QStringLiteral(QUILLON_HELP_FROM_BINDIR));
    ASSERT_TRUE(QDir().mkpath(installedBin) && QDir().mkpath(share));
    std::ofstream((share + QStringLiteral("/bangzhu.htm")).toStdString()) << "<html></html>";
    test::TempDir userData;
    const QString userPath = QString::fromStdString(userData.path().string());
    EXPECT_EQ(About::HelpUrl(userPath, installedBin).toLocalFile(),
              QDir::cleanPath(share + QStringLiteral("/bangzhu.htm")));
    // Neither has it: the program folder's page, which the viewer reports missing.
    test::TempDir empty;
    const QString emptyPath = QString::fromStdString(empty.path().string());
    EXPECT_EQ(About::HelpUrl(emptyPath, emptyPath).toLocalFile(), emptyPath + QStringLiteral("/bangzhu.htm"));
}

TEST(About, okCloses)
{
    QPointer<About> about = new About(QStringLiteral("/tmp"));
    about->show();
    about->OkButton()->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return about.isNull(); }, 5000));
}

}  // namespace
}  // namespace quillon
