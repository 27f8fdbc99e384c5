#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;

namespace quillon {

// About window: name and version, a few lines, OK and Help (the help page of the program folder).
class About final : public QWidget {
public:
    // Opens a URL on the desktop; replaced in tests.
    using UrlOpener = std::function<bool(const QUrl&)>;

    // `programFolder` holds bangzhu.htm, nu.ini and the recordings' folder `file`.
    explicit About(QString programFolder, QWidget* parent = nullptr, UrlOpener opener = {});

    // The help page as a file URL: bangzhu.htm of the program folder; when that has none, the
    // page beside the executable (a build tree), else the installed one (share/quillon).
    [[nodiscard]] static QUrl HelpUrl(const QString& programFolder, const QString& executableFolder);

    [[nodiscard]] QPushButton* OkButton() const { return command1_; }
    [[nodiscard]] QPushButton* HelpButton() const { return command2_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Command2_Click();

    QString programFolder_;
    UrlOpener opener_;
    QPushButton* command1_ = nullptr;
    QPushButton* command2_ = nullptr;
    bool centred_ = false;
};

}  // namespace quillon
