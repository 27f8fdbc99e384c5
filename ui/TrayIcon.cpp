#include "ui/TrayIcon.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

namespace quillon {

TrayIcon::TrayIcon(QWidget* window, const QIcon& icon, std::function<void()> exit)
    : window_(window), menu_(std::make_unique<QMenu>()), tray_(std::make_unique<QSystemTrayIcon>(icon))
{
    show_ = menu_->addAction(QCoreApplication::translate("Quillon", "显示Quillon"));
    menu_->addSeparator();
    exit_ = menu_->addAction(QCoreApplication::translate("Quillon", "退出"));

    QObject::connect(show_, &QAction::triggered, window_, [this] {
        window_->showNormal();
        window_->raise();
        window_->activateWindow();
    });
    // Queued, so the menu has closed before the window's shutdown runs.
    QObject::connect(
        exit_, &QAction::triggered, window_, [exit = std::move(exit)] { exit(); }, Qt::QueuedConnection);

    tray_->setToolTip(QStringLiteral("Quillon"));
    tray_->setContextMenu(menu_.get());
    tray_->show();
}

TrayIcon::~TrayIcon()
{
    tray_->hide();
}

void PutAwayWindow(QWidget* window, bool trayAvailable)
{
    if (trayAvailable) {
        window->hide();
    } else {
        window->showMinimized();
    }
}

void PutAwayWindow(QWidget* window)
{
    PutAwayWindow(window, QSystemTrayIcon::isSystemTrayAvailable());
}

}  // namespace quillon
