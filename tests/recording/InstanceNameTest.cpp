#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>

#include <filesystem>

#include "recording/InstanceName.h"
#include "recording/ProgramFolder.h"
#include "tests/support/TestSupport.h"

namespace quillon {
namespace {

// One window per folder: a folder reached by any path has one name, other folders others, and
// every name is one the bus accepts.
TEST(InstanceBusName, OneValidNamePerFolder)
{
    const test::TempDir dir;
    const QString root = QString::fromStdString(dir.path().string());
    const QString home = root + QStringLiteral("/home");
    const QString other = root + QStringLiteral("/录音 folder");
    QDir().mkpath(home);
    QDir().mkpath(other);
    std::filesystem::create_directory_symlink(dir.path() / "home", dir.path() / "link");

    const QString id = QString::fromLatin1(kApplicationId);
    struct Case {
        QString folder;
        QString defaultFolder;
        bool plain;
    };
    const Case cases[] = {
        {home, home, true},
        {home + QStringLiteral("/../home/"), home, true},
        {root + QStringLiteral("/link"), home, true},
        {other, home, false},
        {root + QStringLiteral("/not-made-yet"), home, false},
    };
    // Elements of letters, digits and '_', none beginning with a digit, 255 characters at most.
    const QRegularExpression valid(QStringLiteral("^[A-Za-z_][A-Za-z0-9_-]*(\\.[A-Za-z_][A-Za-z0-9_-]*)+$"));
    for (const Case& c : cases) {
        const QString name = InstanceBusName(c.folder, c.defaultFolder);
        EXPECT_EQ(name == id, c.plain) << c.folder.toStdString() << " -> " << name.toStdString();
        EXPECT_TRUE(valid.match(name).hasMatch() && name.size() <= 255) << name.toStdString();
        EXPECT_EQ(name, InstanceBusName(c.folder, c.defaultFolder));
    }
    EXPECT_NE(InstanceBusName(other, home), InstanceBusName(root + QStringLiteral("/not-made-yet"), home));
    EXPECT_EQ(InstanceBusName(home, other), InstanceBusName(root + QStringLiteral("/link"), other));
}

// The plain name belongs to the folder the window takes when no folder is named.
TEST(DefaultProgramFolder, IsTheWindowsChoiceWithoutHome)
{
    const test::TempDir dir;
    const QString exe = QString::fromStdString((dir / "bin").string());
    const QString data = QString::fromStdString((dir / "data").string());
    EXPECT_EQ(DefaultProgramFolder(exe, data), ChooseProgramFolder(QString(), QString(), exe, data).path);
    EXPECT_EQ(DefaultProgramFolder(QStringLiteral("/usr/bin"), data),
              ChooseProgramFolder(QString(), QString(), QStringLiteral("/usr/bin"), data).path);
}

}  // namespace
}  // namespace quillon
