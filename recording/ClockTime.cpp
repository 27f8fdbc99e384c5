#include "recording/ClockTime.h"

#include <QRegularExpression>

namespace quillon {

std::optional<QTime> ParseClockTime(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,2}):(\\d{2})(?::(\\d{2}))?$"));
    const auto match = pattern.match(text.trimmed());
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    const QTime time(match.captured(1).toInt(), match.captured(2).toInt(),
                     match.captured(3).isEmpty() ? 0 : match.captured(3).toInt());
    if (!time.isValid()) {
        return std::nullopt;
    }
    return time;
}

QDateTime NextMoment(const QTime& time, const QDateTime& now)
{
    for (int day = 0; day < 3; ++day) {
        QDateTime moment(now.date().addDays(day), time);
        // A time the clock skips (the spring change) comes the hour after.
        if (!moment.isValid()) {
            moment = QDateTime(now.date().addDays(day), time.addSecs(3600));
        }
        if (moment > now) {
            return moment;
        }
    }
    return now.addDays(1);
}

}  // namespace quillon
