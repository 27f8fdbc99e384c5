#include "ui/TrayIcon.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>
#include <QWidget>

namespace quillon {
namespace {

TEST(TrayIcon, hasTheTipAndTheMenuShowSeparatorExit)
{
    QWidget window;
    TrayIcon tray(&window, QIcon(), [] {});
    EXPECT_EQ(tray.Icon()->toolTip(), QStringLiteral("Quillon"));
    EXPECT_EQ(tray.Icon()->contextMenu(), tray.Menu());
    const QList<QAction*> items = tray.Menu()->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->text(), QStringLiteral("显示Quillon"));
    EXPECT_TRUE(items[1]->isSeparator());
    EXPECT_EQ(items[2]->text(), QStringLiteral("退出"));
}

TEST(TrayIcon, showItemBringsTheHiddenWindowBack_andExitRunsTheShutdownOnce)
{
    QWidget window;
    int exits = 0;
    TrayIcon tray(&window, QIcon(), [&exits] { ++exits; });
    window.show();
    PutAwayWindow(&window, true);
    EXPECT_FALSE(window.isVisible());

    tray.ShowAction()->trigger();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());

    tray.ExitAction()->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return exits == 1; }, 5000));
    QApplication::processEvents();
    EXPECT_EQ(exits, 1);
}

// Left, double and middle clicks reach the program as activated(); only the right button's menu
// does anything. With the window put away, none of them brings it back, opens the menu or exits.
TEST(TrayIcon, leftClicksDoNothing)
{
    QWidget window;
    int exits = 0;
    TrayIcon tray(&window, QIcon(), [&exits] { ++exits; });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    PutAwayWindow(&window, true);
    ASSERT_TRUE(window.isHidden());
    for (const auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick}) {
        emit tray.Icon()->activated(reason);
        QApplication::processEvents();
        EXPECT_TRUE(window.isHidden()) << reason;
        EXPECT_FALSE(tray.Menu()->isVisible()) << reason;
    }
    EXPECT_EQ(exits, 0);
    // The same window comes back through the menu's first item, so the checks above can see it.
    tray.ShowAction()->trigger();
    EXPECT_FALSE(window.isHidden());
}

class RecordingStandIn final : public RemoteTarget {
public:
    QString state = QStringLiteral("idle");
    QStringList calls;
    [[nodiscard]] QString RemoteState() const override { return state; }
    [[nodiscard]] QString RemoteFile() const override { return {}; }
    [[nodiscard]] qint64 RemoteSeconds() const override { return 0; }
    void RemoteStart() override { calls << QStringLiteral("start"); }
    void RemoteStop() override { calls << QStringLiteral("stop"); }
    void RemoteToggle() override { calls << QStringLiteral("toggle"); }
    void RemoteMark() override { calls << QStringLiteral("mark"); }
    void RemoteShow() override { calls << QStringLiteral("show"); }
};

// 开始录音 / 停止录音 sit between 显示Quillon and 退出, each enabled only when it can act.
TEST(TrayIcon, recordEntriesFollowTheState)
{
    QWidget window;
    RecordingStandIn recording;
    TrayIcon tray(
        &window, QIcon(), [] {}, &recording);
    QStringList texts;
    for (const QAction* item : tray.Menu()->actions()) {
        texts << (item->isSeparator() ? QStringLiteral("|") : item->text());
    }
    EXPECT_EQ(texts, QStringList({QStringLiteral("显示Quillon"), QStringLiteral("|"), QStringLiteral("开始录音"),
                                  QStringLiteral("停止录音"), QStringLiteral("|"), QStringLiteral("退出")}));
    const struct {
        const char* state;
        bool start;
        bool stop;
    } cases[] = {{"idle", true, false}, {"recording", false, true}, {"armed", false, true}};
    for (const auto& c : cases) {
        recording.state = QString::fromLatin1(c.state);
        emit tray.Menu()->aboutToShow();
        EXPECT_EQ(tray.StartAction()->isEnabled(), c.start) << c.state;
        EXPECT_EQ(tray.StopAction()->isEnabled(), c.stop) << c.state;
    }
    tray.StopAction()->trigger();
    recording.state = QStringLiteral("idle");
    emit tray.Menu()->aboutToShow();
    tray.StartAction()->trigger();
    EXPECT_EQ(recording.calls, QStringList({QStringLiteral("stop"), QStringLiteral("start")}));
}

TEST(PutAwayWindow, minimisesInsteadOfHiding_whenThereIsNoNotificationArea)
{
    QWidget window;
    window.show();
    PutAwayWindow(&window, false);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.windowState().testFlag(Qt::WindowMinimized));
}

}  // namespace
}  // namespace quillon
