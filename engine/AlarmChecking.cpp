#include "engine/AlarmChecking.h"

#include "engine/AlarmHandling.h"
#include "engine/AlarmIdentity.h"
#include "engine/AlarmWindows.h"
#include "engine/Snoozes.h"
#include "engine/TimingModule.h"
#include "engine/Trace.h"

#include <QLocale>

#include <limits>

namespace AlarmChecking {

qint32 LastCheck = 0;
QStringList MissedAlarms{QString()};

namespace {
AlarmWindows *alarmWindows = nullptr;

bool isDue(const AlarmRecord &a, qint32 t)
{
    using namespace TimingModule;
    switch (a.AlarmType) {
    case AlarmRecord::OnceOnly:
        return MatchOnceOnly(t, a.Year, a.Month, a.Day, a.Hour, a.Minute);
    case AlarmRecord::Daily:
        return MatchTime(t, a.Hour, a.Minute);
    case AlarmRecord::Weekly:
        return MatchWeekly(t, a.WeekDay, a.Hour, a.Minute);
    case AlarmRecord::EveryWeekday:
        return MatchEveryWeekday(t, a.Hour, a.Minute);
    default:
        return false;
    }
}
} // namespace

void SetWindows(AlarmWindows *windows)
{
    alarmWindows = windows;
}

void ResetMissedAlarms()
{
    MissedAlarms = QStringList{QString()};
}

QString FormatAlarmTime(const QDateTime &when)
{
    const QDate date = when.date();
    const QTime time = when.time();
    return QStringLiteral("%1:%2,  %3 %4")
        .arg(time.hour(), 2, 10, QLatin1Char('0'))
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(date.day())
        .arg(QLocale::system().monthName(date.month(), QLocale::LongFormat));
}

void CheckAlarms(qint32 CheckMinute, qint32 MissedMinute)
{
    using namespace TimingModule;
    const QList<AlarmRecord> &alarms = AlarmHandling::Alarms;
    const qsizetype upper = alarms.size() - 1;
    // Every rule needs the time of day first; comparing it once per alarm here
    // keeps the week-long catch-up cheap. The full rule runs only on a match.
    const qint32 minute = CheckMinute % MinutesPerHour;
    const qint32 hour = (CheckMinute % MinutesPerDay - minute) / MinutesPerHour;
    for (qsizetype i = 1; i <= upper; ++i) {
        const AlarmRecord &a = alarms.at(i);
        if (a.Minute != minute || a.Hour != hour || a.Disabled != 0)
            continue;
        // Added or changed from the command line while no clock ran: it was
        // not the user's alarm yet at the minutes up to that change.
        if (MissedMinute != 0 && CheckMinute <= AlarmIdentity::ChangedAt(static_cast<int>(i)))
            continue;
        if (isDue(a, CheckMinute))
            FireAlarm(static_cast<int>(i), MissedMinute);
    }
}

void FireAlarm(int i, qint32 MissedMinute)
{
    const AlarmRecord &alarm = AlarmHandling::Alarms.at(i);
    if (MissedMinute == 0) {
        TraceEvent("ring", QStringLiteral("%1 %2").arg(LastCheck).arg(alarm.TrimmedName()));
        if (alarmWindows)
            alarmWindows->OpenNotification(alarm.TrimmedName(), FormatAlarmTime(TimingModule::Now()), LastCheck,
                                           AlarmIdentity::Of(i));
    } else {
        AddMissedAlarm(alarm.TrimmedName(), TimingModule::MinuteMoment(MissedMinute));
    }
}

namespace {
// While a catch-up runs, its lines only collect; the panel is brought up and
// redrawn once at the end. A week of missed lines redrawn line by line kept
// the clock from its first frame for minutes.
bool collecting = false;
bool collected = false;
} // namespace

void AddMissedAlarm(const QString &text, const QDateTime &when)
{
    MissedAlarms.append(text + QStringLiteral(" - ") + FormatAlarmTime(when));
    TraceEvent("missed", MissedAlarms.last());
    if (collecting) {
        collected = true;
        return;
    }
    if (alarmWindows)
        alarmWindows->ShowMissedAlarms();
}

namespace {

// A clock found set back too far: checking goes on from the present minute,
// which is itself still to be examined (its alarm is the one the user is
// waiting for right now).
void followClockSetBack(qint32 now)
{
    if (qint64(LastCheck) - now <= SetBackTolerance)
        return;
    TraceEvent("set-back", QStringLiteral("%1 %2").arg(LastCheck).arg(now));
    LastCheck = now - 1;
}

qint32 minuteOfEnd(const Snoozes::Snooze &snooze)
{
    return TimingModule::MinuteOf(snooze.end.toLocalTime());
}

// Examines, as missed, every minute after LastCheck up to and including last.
// Snoozes that ended meanwhile (given in the order they ended) are missed
// lines too, each among the alarms of its minute.
void catchUpAsMissed(qint32 last, const QList<Snoozes::Snooze> &ended = {})
{
    if (LastCheck < last - CatchUpLimit)
        LastCheck = last - CatchUpLimit;
    collecting = true;
    collected = false;
    qsizetype next = 0;
    const auto snoozesUpTo = [&](qint64 minute) {
        for (; next < ended.size() && minuteOfEnd(ended.at(next)) <= minute; ++next)
            AddMissedAlarm(ended.at(next).name, TimingModule::MinuteMoment(minuteOfEnd(ended.at(next))));
    };
    while (last > LastCheck) {
        ++LastCheck;
        snoozesUpTo(LastCheck - 1);
        CheckAlarms(LastCheck, LastCheck);
    }
    snoozesUpTo(std::numeric_limits<qint64>::max());
    collecting = false;
    if (collected && alarmWindows)
        alarmWindows->ShowMissedAlarms();
}

} // namespace

void StartupCatchUp()
{
    const qint32 now = TimingModule::CurrentMinute();
    followClockSetBack(now);
    catchUpAsMissed(now, Snoozes::TakeDue());
}

bool RingDueSnoozes()
{
    const QList<Snoozes::Snooze> due = Snoozes::TakeDue();
    for (const Snoozes::Snooze &snooze : due) {
        TraceEvent("ring", QStringLiteral("%1 %2").arg(minuteOfEnd(snooze)).arg(snooze.name));
        if (alarmWindows)
            alarmWindows->OpenNotification(snooze.name, FormatAlarmTime(TimingModule::Now()), minuteOfEnd(snooze),
                                           snooze.alarmId);
    }
    return !due.isEmpty();
}

bool LiveCheck()
{
    return LiveCheck(TimingModule::CurrentMinute());
}

bool LiveCheck(qint32 currentMinute)
{
    followClockSetBack(currentMinute);
    if (currentMinute <= LastCheck)
        return false;
    // After a long gap only the minutes before the present one are missed;
    // the present minute rings.
    if (qint64(currentMinute) - LastCheck > LiveGapLimit)
        catchUpAsMissed(currentMinute - 1);
    ++LastCheck;
    CheckAlarms(LastCheck, 0);
    return true;
}

} // namespace AlarmChecking
