#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace quillon {

// Keeps the computer from going to sleep while something is being recorded: logind's Inhibit
// on the system bus (held as long as its descriptor is open), else the desktop portal's Inhibit.
// When neither answers, `unavailable` is told once and recording goes on regardless.
class SleepInhibitor final : public QObject {
    Q_OBJECT
public:
    explicit SleepInhibitor(QString reason, std::function<void()> unavailable, QObject* parent = nullptr);
    ~SleepInhibitor() override;
    SleepInhibitor(const SleepInhibitor&) = delete;
    SleepInhibitor& operator=(const SleepInhibitor&) = delete;

    // Takes the inhibitor when `on`, lets it go otherwise; asking twice is asking once.
    void Hold(bool on);
    // Who holds it now: "logind", "portal", or empty.
    [[nodiscard]] QString Holder() const;

private:
    void askLogind(int round);
    void askPortal(int round);
    void release();

    QString reason_;
    std::function<void()> unavailable_;
    bool wanted_ = false;
    // Answers to an earlier Hold(true) that arrive after a Hold(false) are let go.
    int round_ = 0;
    std::optional<QDBusUnixFileDescriptor> logind_;
    QString portalRequest_;
    bool told_ = false;
};

}  // namespace quillon
