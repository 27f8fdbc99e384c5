// The desktop openers as they really run (scripts/desktop-session.sh): on an X display, with a
// stand-in file manager on a private session bus and a stand-in xdg-open on PATH, both recording
// what they were given. Hostile file names must reach them as exact URLs and start no shell.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"
#include "ui/About.h"
#include "ui/ModFolderSetFileFocus.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

QString Q(const fs::path& p)
{
    return QString::fromStdString(p.string());
}

// org.freedesktop.FileManager1 on its own connection, answering as told.
class FileManagerStandIn final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    enum class Answer { Show, Refuse, Late };
    Answer answer = Answer::Show;
    std::vector<QStringList> calls;

public slots:
    void ShowItems(const QStringList& uris, const QString& /*startupId*/)
    {
        calls.push_back(uris);
        if (answer == Answer::Refuse) {
            sendErrorReply(QDBusError::Failed, QStringLiteral("refused"));
        } else if (answer == Answer::Late) {
            // A file manager still starting up: the answer comes after a while.
            setDelayedReply(true);
            QTimer::singleShot(1500,
                               [reply = message().createReply(), bus = connection()]() mutable { bus.send(reply); });
        }
    }
};

// xdg-open on PATH, writing its arguments one per line into a new file of `dir` per run. Qt looks
// the launcher up once per process, so PATH names one folder for all tests; the record folder is
// passed in the environment.
class XdgOpenStandIn {
public:
    explicit XdgOpenStandIn(const fs::path& dir) : record_(dir / "xdg-open-runs")
    {
        static const test::TempDir bin;
        static const bool installed = [] {
            std::ofstream script(bin / "xdg-open");
            script << "#!/bin/sh\nn=$(ls \"$QUILLON_TEST_XDG_RECORD\" | wc -l)\n"
                   << "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$QUILLON_TEST_XDG_RECORD/run$n\"\n";
            script.close();
            fs::permissions(bin / "xdg-open", fs::perms::owner_all);
            qputenv("PATH", QByteArray::fromStdString(bin.path().string()) + ":/usr/bin:/bin");
            return true;
        }();
        static_cast<void>(installed);
        fs::create_directory(record_);
        qputenv("QUILLON_TEST_XDG_RECORD", QByteArray::fromStdString(record_.string()));
    }

    // The arguments of every run so far.
    [[nodiscard]] std::vector<std::vector<std::string>> Runs() const
    {
        std::vector<std::vector<std::string>> runs;
        for (int n = 0; fs::exists(record_ / ("run" + std::to_string(n))); ++n) {
            std::ifstream in(record_ / ("run" + std::to_string(n)));
            std::vector<std::string> args;
            for (std::string line; std::getline(in, line);) {
                args.push_back(line);
            }
            runs.push_back(args);
        }
        return runs;
    }

private:
    fs::path record_;
};

struct DesktopOpener : ::testing::Test {
    DesktopOpener()
    {
        bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("file-manager-stand-in"));
        EXPECT_TRUE(bus.isConnected()) << "needs the session bus of scripts/desktop-session.sh";
        EXPECT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.FileManager1")));
        EXPECT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &fileManager,
                                       QDBusConnection::ExportAllSlots));
        QDir::setCurrent(Q(dir.path()));
    }
    ~DesktopOpener() override
    {
        QDir::setCurrent(oldCwd);
        bus.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
        bus.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
        QDBusConnection::disconnectFromBus(QStringLiteral("file-manager-stand-in"));
    }
    DesktopOpener(const DesktopOpener&) = delete;
    DesktopOpener& operator=(const DesktopOpener&) = delete;

    [[nodiscard]] bool Pwned() const { return fs::exists(dir / "pwned") || fs::exists(dir / "sub" / "pwned"); }

    test::TempDir dir;
    QString oldCwd = QDir::currentPath();
    QDBusConnection bus{QString()};
    FileManagerStandIn fileManager;
    XdgOpenStandIn xdgOpen{dir.path()};
};

TEST_F(DesktopOpener, showsTheFileInTheFileManagerWithoutWaiting_andOpensTheFolderOnlyWhenRefused)
{
    using Answer = FileManagerStandIn::Answer;
    const struct {
        Answer answer;
        bool folderOpened;
    } rows[] = {{Answer::Show, false}, {Answer::Refuse, true}, {Answer::Late, false}};
    fs::create_directory(dir / "sub");
    const fs::path file = dir / "sub" / "$(touch pwned) `touch pwned` it's.wav";
    std::ofstream(file).put('x');
    for (const auto& row : rows) {
        fileManager.answer = row.answer;
        fileManager.calls.clear();
        const std::size_t runsBefore = xdgOpen.Runs().size();
        // The window's timer goes on while the file manager has not answered yet.
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(10);

        ASSERT_TRUE(OpenFolderAndSelectFile(Q(file)));
        EXPECT_EQ(ticks, 0) << "returned before any event ran";
        ASSERT_TRUE(QTest::qWaitFor([this] { return !fileManager.calls.empty(); }, 5000));
        ASSERT_EQ(fileManager.calls.size(), 1U);
        EXPECT_EQ(fileManager.calls[0], QStringList{QUrl::fromLocalFile(Q(file)).toString(QUrl::FullyEncoded)});
        EXPECT_EQ(QUrl(fileManager.calls[0].value(0)).toLocalFile(), Q(file));
        if (row.folderOpened) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return xdgOpen.Runs().size() > runsBefore; }, 10000));
            ASSERT_EQ(xdgOpen.Runs().size(), runsBefore + 1);
            const auto args = xdgOpen.Runs().back();
            ASSERT_EQ(args.size(), 1U);
            EXPECT_EQ(QUrl(QString::fromStdString(args[0])).toLocalFile(), Q(dir / "sub"));
        } else {
            QTest::qWait(row.answer == Answer::Late ? 2500 : 500);
            EXPECT_EQ(xdgOpen.Runs().size(), runsBefore) << "a second window besides the file manager's";
        }
        // While the late answer was awaited (1.5 s), the timer went on all along.
        EXPECT_GT(ticks, row.answer == Answer::Late ? 100 : 0);
        EXPECT_FALSE(Pwned());
    }
}

TEST_F(DesktopOpener, aboutHelpHandsThePageOfAHostileFolderToTheViewerAsOneFileUrl)
{
    const fs::path folder = dir / "sub" / "my \"app\" $(touch pwned)";
    fs::create_directories(folder);
    std::ofstream(folder / "bangzhu.htm") << "<html></html>";
    About about(Q(folder));
    about.HelpButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !xdgOpen.Runs().empty(); }, 10000));
    const auto args = xdgOpen.Runs().back();
    ASSERT_EQ(args.size(), 1U);
    EXPECT_EQ(QUrl(QString::fromStdString(args[0])).toLocalFile(), Q(folder / "bangzhu.htm"));
    EXPECT_FALSE(Pwned());
}

}  // namespace
}  // namespace quillon

#include "DesktopOpenerTest.moc"
