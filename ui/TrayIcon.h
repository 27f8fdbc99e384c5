#pragma once

#include <QIcon>
#include <QObject>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace quillon {

// Notification-area icon of the main window with its right-button menu "显示Quillon" / "退出".
// Left clicks do nothing; the menu opens on the right button only.
class TrayIcon final {
public:
    // `window` is shown again by the first item; `exit` closes it through its own shutdown.
    TrayIcon(QWidget* window, const QIcon& icon, std::function<void()> exit);
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    [[nodiscard]] QSystemTrayIcon* Icon() const { return tray_.get(); }
    [[nodiscard]] QMenu* Menu() const { return menu_.get(); }
    [[nodiscard]] QAction* ShowAction() const { return show_; }
    [[nodiscard]] QAction* ExitAction() const { return exit_; }

private:
    QWidget* window_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    QAction* show_ = nullptr;
    QAction* exit_ = nullptr;
};

// The main window's "最小化至系统托盘": hides the window when a notification area exists;
// otherwise minimises it, so the program never becomes unreachable.
void PutAwayWindow(QWidget* window, bool trayAvailable);

// PutAwayWindow with the desktop's answer to whether it has a notification area.
void PutAwayWindow(QWidget* window);

}  // namespace quillon
