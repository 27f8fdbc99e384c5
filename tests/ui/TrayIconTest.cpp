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
