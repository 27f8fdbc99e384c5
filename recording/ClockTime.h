#pragma once

#include <QDateTime>
#include <QString>
#include <QTime>

#include <optional>

namespace quillon {

// "HH:MM" or "HH:MM:SS", 24-hour local time; nothing for any other text.
std::optional<QTime> ParseClockTime(const QString& text);

// The next moment after `now` that the clock shows `time`: today, or tomorrow when it has passed.
QDateTime NextMoment(const QTime& time, const QDateTime& now);

}  // namespace quillon
