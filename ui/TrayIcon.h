#pragma once

#include <QIcon>
#include <QObject>
#include <functional>
#include <memory>

#include "ui/RemoteTarget.h"

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace quillon {

// Notification-area icon of the main window with its right-button menu "显示Quillon" / "退出",
// and "开始录音" / "停止录音" between them when a recording can be controlled.
// Left clicks do nothing; the menu opens on the right button only.
class TrayIcon final {
public:
    // `window` is shown again by the first item; `exit` closes it through its own shutdown.
    // `recording`, when given, is started and stopped by the menu (not owned).
    TrayIcon(QWidget* window, const QIcon& icon, std::function<void()> exit, RemoteTarget* recording = nullptr);
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    [[nodiscard]] QSystemTrayIcon* Icon() const { return tray_.get(); }
    [[nodiscard]] QMenu* Menu() const { return menu_.get(); }
    [[nodiscard]] QAction* ShowAction() const { return show_; }
    [[nodiscard]] QAction* ExitAction() const { return exit_; }
    [[nodiscard]] QAction* StartAction() const { return start_; }
    [[nodiscard]] QAction* StopAction() const { return stop_; }
    // Enables the start or the stop entry as fits the recording's state now.
    void FollowState();

private:
    QWidget* window_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    QAction* show_ = nullptr;
    QAction* exit_ = nullptr;
    RemoteTarget* recording_ = nullptr;
    QAction* start_ = nullptr;
    QAction* stop_ = nullptr;
};

// The main window's "最小化至系统托盘": hides the window when a notification area exists;
// otherwise minimises it, so the program never becomes unreachable.
void PutAwayWindow(QWidget* window, bool trayAvailable);

// PutAwayWindow with the desktop's answer to whether it has a notification area.
void PutAwayWindow(QWidget* window);

}  // namespace quillon
