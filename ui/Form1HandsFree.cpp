// The main window's hands-free recording: a start set for a time of day, a stop at another,
// and the sound-activated takes the recording core runs.
#include <QCoreApplication>
#include <QDateTime>
#include <QPushButton>
#include <QTimer>

#include "recording/ClockTime.h"
#include "recording/DisplayFormat.h"
#include "ui/Form1.h"

namespace quillon {

namespace {

// The longest a single-shot timer is set for; a longer wait is set again when it ends.
constexpr qint64 kLongestTimerMs = 1LL << 30;

int timerMs(const QDateTime& moment)
{
    return static_cast<int>(std::clamp<qint64>(QDateTime::currentDateTime().msecsTo(moment), 0, kLongestTimerMs));
}

}  // namespace

void Form1::setupHandsFree()
{
    tmrStartAt_ = new QTimer(this);
    tmrStartAt_->setSingleShot(true);
    connect(tmrStartAt_, &QTimer::timeout, this, [this] {
        if (!waitingForStart_) {
            return;
        }
        if (QDateTime::currentDateTime() < startMoment_) {
            tmrStartAt_->start(timerMs(startMoment_));
            return;
        }
        // The record button's own start, as if pressed now.
        waitingForStart_ = false;
        cmdDo->setText(QCoreApplication::translate("Quillon", "开始录音"));
        SetFramesEnabled(true);
        startingNow_ = true;
        cmdDo_Click();
        startingNow_ = false;
        emit recordingChanged();
    });
    tmrStopAt_ = new QTimer(this);
    tmrStopAt_->setSingleShot(true);
    connect(tmrStopAt_, &QTimer::timeout, this, [this] {
        if (QDateTime::currentDateTime() < stopMoment_) {
            tmrStopAt_->start(timerMs(stopMoment_));
            return;
        }
        if (engines_->capture().IsRecording()) {
            cmdDo_Click();
        }
    });
}

bool Form1::handsFreeClick(const RecordInputs& in)
{
    if (waitingForStart_) {
        // The button reads 停止录音 while waiting: pressing it gives the wait up.
        waitingForStart_ = false;
        tmrStartAt_->stop();
        cmdDo->setText(QCoreApplication::translate("Quillon", "开始录音"));
        SetFramesEnabled(true);
        emit recordingChanged();
        WakeDisplay();
        return true;
    }
    if (engines_->capture().IsRecording()) {
        return false;
    }
    control_->SoundActivation(handsFree_.soundActivated ? std::optional(handsFree_.trigger) : std::nullopt);
    if (!handsFree_.startAt || startingNow_) {
        return false;
    }
    // What would refuse the start is said now, while the user is there.
    if (!control_->CheckInputs(in)) {
        return true;
    }
    waitingForStart_ = true;
    startMoment_ = NextMoment(*handsFree_.startAt, QDateTime::currentDateTime());
    tmrStartAt_->start(timerMs(startMoment_));
    cmdDo->setText(QCoreApplication::translate("Quillon", "停止录音"));
    SetFramesEnabled(false);
    emit recordingChanged();
    WakeDisplay();
    return true;
}

void Form1::handsFreeStarted()
{
    if (handsFree_.stopAt) {
        stopMoment_ = NextMoment(*handsFree_.stopAt, QDateTime::currentDateTime());
        tmrStopAt_->start(timerMs(stopMoment_));
    }
}

void Form1::handsFreeStopped()
{
    tmrStopAt_->stop();
}

void Form1::noticeArmedChange()
{
    // A take that began on sound is news for the bus.
    if (const bool armed = control_->Armed(); armed != shownArmed_) {
        shownArmed_ = armed;
        emit recordingChanged();
    }
}

QString Form1::handsFreeTimeText() const
{
    if (waitingForStart_) {
        const qint64 left = std::max<qint64>(QDateTime::currentDateTime().msecsTo(startMoment_), 0);
        // Whole seconds up: the start comes when the count shows 0:00.
        return QCoreApplication::translate("Quillon", "等待开始: ") +
               FormatTime(static_cast<std::int32_t>(std::min<qint64>((left + 999) / 1000 * 1000, INT32_MAX)));
    }
    if (control_->Armed()) {
        return QCoreApplication::translate("Quillon", "等待声音...");
    }
    return {};
}

}  // namespace quillon
