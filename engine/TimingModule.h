#pragma once

#include <QDateTime>
#include <QtGlobal>
#include <functional>

// Minute timestamps: whole minutes since 1 January 2000 00:00 on the local wall
// clock (a Saturday). All alarm rules are pure tests of such a timestamp.
namespace TimingModule {

constexpr qint32 MinutesPerHour = 60;
constexpr qint32 MinutesPerDay = 1440;
constexpr qint32 DaysPerWeek = 7;
constexpr qint32 WeekdayOffset = -2; // day 0 is a Saturday; shifts so 0 is Monday

// The one place the program reads the wall clock. Tests replace it; an empty
// function restores the system clock.
using Clock = std::function<QDateTime()>;
void SetClock(Clock clock);
QDateTime Now();

// Rounds towards minus infinity, unlike the built-in division.
constexpr qint32 FloorDiv(qint32 a, qint32 b)
{
    const qint32 q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Milliseconds that keep running while the computer sleeps and that no clock
// set moves: real minutes (a snooze's) are counted on it. Only differences
// mean anything. Tests replace it; an empty function restores the system's.
using ElapsedClock = std::function<qint64()>;
void SetElapsedClock(ElapsedClock clock);
qint64 ElapsedMsecs();

qint32 MinuteOf(const QDate &date, const QTime &time);
qint32 MinuteOf(const QDateTime &moment);
qint32 CurrentMinute();

// The wall-clock moment of minute t. It carries no time zone on purpose: a minute
// inside a daylight-saving gap still reads back as itself.
QDateTime MinuteMoment(qint32 t);

// The remainders below follow truncating division, so negative timestamps
// (a clock set before 2000) simply match less.
constexpr bool MatchTime(qint32 t, qint32 hour, qint32 minute)
{
    const qint32 m = t % MinutesPerHour;
    const qint32 h = (t % MinutesPerDay - m) / MinutesPerHour;
    return h == hour && m == minute;
}

constexpr bool MatchEveryWeekday(qint32 t, qint32 hour, qint32 minute)
{
    if (!MatchTime(t, hour, minute))
        return false;
    const qint32 w = FloorDiv(t, MinutesPerDay) % DaysPerWeek; // 0 Saturday ... 6 Friday
    return w >= 2 && w <= 6;
}

constexpr bool MatchWeekly(qint32 t, qint32 weekDay, qint32 hour, qint32 minute)
{
    if (!MatchTime(t, hour, minute))
        return false;
    const qint32 w = (FloorDiv(t, MinutesPerDay) + WeekdayOffset + DaysPerWeek) % DaysPerWeek;
    return w == weekDay;
}

bool MatchOnceOnly(qint32 t, qint32 year, qint32 month, qint32 day, qint32 hour, qint32 minute);

} // namespace TimingModule
