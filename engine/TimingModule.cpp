#include "engine/TimingModule.h"

#include "platform/BootClock.h"

#include <algorithm>
#include <limits>

namespace TimingModule {

namespace {
Clock &clockFunction()
{
    static Clock clock;
    return clock;
}

const QDate &epochDate()
{
    static const QDate epoch(2000, 1, 1);
    return epoch;
}
} // namespace

void SetClock(Clock clock)
{
    clockFunction() = std::move(clock);
}

QDateTime Now()
{
    const Clock &clock = clockFunction();
    return clock ? clock() : QDateTime::currentDateTime();
}

namespace {
ElapsedClock &elapsedFunction()
{
    static ElapsedClock clock;
    return clock;
}
} // namespace

void SetElapsedClock(ElapsedClock clock)
{
    elapsedFunction() = std::move(clock);
}

qint64 ElapsedMsecs()
{
    const ElapsedClock &clock = elapsedFunction();
    return clock ? clock() : BootClock::Msecs();
}

qint32 MinuteOf(const QDate &date, const QTime &time)
{
    const qint64 minutes = epochDate().daysTo(date) * MinutesPerDay + time.hour() * MinutesPerHour + time.minute();
    return static_cast<qint32>(
        std::clamp<qint64>(minutes, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
}

qint32 MinuteOf(const QDateTime &moment)
{
    return MinuteOf(moment.date(), moment.time());
}

qint32 CurrentMinute()
{
    return MinuteOf(Now());
}

QDateTime MinuteMoment(qint32 t)
{
    const qint32 day = FloorDiv(t, MinutesPerDay);
    const qint32 minuteOfDay = t - day * MinutesPerDay;
    return QDateTime(epochDate().addDays(day), QTime(minuteOfDay / MinutesPerHour, minuteOfDay % MinutesPerHour),
                     Qt::UTC);
}

bool MatchOnceOnly(qint32 t, qint32 year, qint32 month, qint32 day, qint32 hour, qint32 minute)
{
    if (!MatchTime(t, hour, minute))
        return false;
    const QDate date = epochDate().addDays(FloorDiv(t, MinutesPerDay));
    return date.year() == year && date.month() == month && date.day() == day;
}

} // namespace TimingModule
