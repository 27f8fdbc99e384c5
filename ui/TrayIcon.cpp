#include "ui/TrayIcon.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

namespace quillon {

TrayIcon::TrayIcon(QWidget* window, const QIcon& icon, std::function<void()> exit, RemoteTarget* recording)
    : window_(window),
      menu_(std::make_unique<QMenu>()),
      tray_(std::make_unique<QSystemTrayIcon>(icon)),
      recording_(recording)
{
    show_ = menu_->addAction(QCoreApplication::translate("Quillon", "显示Quillon"));
    menu_->addSeparator();
    if (recording_ != nullptr) {
        start_ = menu_->addAction(QCoreApplication::translate("Quillon", "开始录音"));
        stop_ = menu_->addAction(QCoreApplication::translate("Quillon", "停止录音"));
        menu_->addSeparator();
        QObject::connect(start_, &QAction::triggered, window_, [this] { recording_->RemoteStart(); });
        QObject::connect(stop_, &QAction::triggered, window_, [this] { recording_->RemoteStop(); });
        QObject::connect(menu_.get(), &QMenu::aboutToShow, window_, [this] { FollowState(); });
        FollowState();
    }
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

void TrayIcon::FollowState()
{
    if (recording_ == nullptr) {
        return;
    }
    const bool idle = recording_->RemoteState() == QStringLiteral("idle");
    start_->setEnabled(idle);
    stop_->setEnabled(!idle);
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
