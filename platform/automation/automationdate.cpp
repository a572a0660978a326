// Day-count dates, their wall-clock fields and their text.
#include "platform/automation/automationdate.h"

#include <cmath>

namespace automation {

namespace {

constexpr qint64 secondsPerDay = 86400;
// Day counts far beyond the years 100 to 9999; the exact limit is checked on the fields.
constexpr double coarseLimit = 1e7;

QDate epoch()
{
    return QDate(1899, 12, 30);
}

} // namespace

Converted<QDateTime> dateTimeFromDays(double days)
{
    if (!(std::fabs(days) < coarseLimit))
        return Converted<QDateTime>::failure(RuntimeError::Overflow);
    qint64 wholeDays = qint64(std::trunc(days));
    qint64 seconds = std::llround(std::fabs(days - double(wholeDays)) * secondsPerDay);
    if (seconds == secondsPerDay) {
        seconds = 0;
        wholeDays += days < 0 ? -1 : 1;
    }
    const QDate date = epoch().addDays(wholeDays);
    if (date.year() < 100 || date.year() > 9999)
        return Converted<QDateTime>::failure(RuntimeError::Overflow);
    const QTime time = QTime::fromMSecsSinceStartOfDay(int(seconds * 1000));
    return Converted<QDateTime>::success(QDateTime(date, time, Qt::UTC));
}

Converted<QByteArray> dateText(double days)
{
    const Converted<QDateTime> dateTime = dateTimeFromDays(days);
    if (!dateTime.ok())
        return Converted<QByteArray>::failure(dateTime.error);
    return Converted<QByteArray>::success(
        dateTime.value.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1());
}

} // namespace automation
