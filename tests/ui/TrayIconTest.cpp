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
    QTRY_COMPARE(exits, 1);
    QApplication::processEvents();
    EXPECT_EQ(exits, 1);
}

TEST(TrayIcon, leftClicksDoNothing)
{
    QWidget window;
    int exits = 0;
    TrayIcon tray(&window, QIcon(), [&exits] { ++exits; });
    for (const auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick}) {
        emit tray.Icon()->activated(reason);
    }
    QApplication::processEvents();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(exits, 0);
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
