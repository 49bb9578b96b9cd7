#include "engine/AlarmWords.h"

#include <QStringList>

namespace AlarmWords {

namespace {
const char *const KindNames[] = {"once", "daily", "weekly", "weekdays"};
const char *const WeekDayNames[] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
} // namespace

QString TwoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

QString Time(int hour, int minute)
{
    return TwoDigits(hour) + QLatin1Char(':') + TwoDigits(minute);
}

QString KindName(int alarmType)
{
    return alarmType >= 0 && alarmType <= 3 ? QString::fromLatin1(KindNames[alarmType]) : QStringLiteral("unknown");
}

int KindOf(const QString &name)
{
    for (int kind = 0; kind <= 3; ++kind) {
        if (name == QLatin1String(KindNames[kind]))
            return kind;
    }
    return -1;
}

QString WeekDayName(int weekDay)
{
    return weekDay >= 0 && weekDay <= 6 ? QString::fromLatin1(WeekDayNames[weekDay]) : QString();
}

QString ShortDayName(int dayOfWeek)
{
    return WeekDayName(dayOfWeek - 1).left(3);
}

QString DayText(const AlarmRecord &a)
{
    if (a.AlarmType == AlarmRecord::OnceOnly)
        return QStringLiteral("%1-%2-%3")
            .arg(a.Year, 4, 10, QLatin1Char('0'))
            .arg(TwoDigits(a.Month), TwoDigits(a.Day));
    if (a.AlarmType == AlarmRecord::Weekly) {
        const QString name = WeekDayName(a.WeekDay);
        return name.isEmpty() ? QStringLiteral("-") : name;
    }
    return QStringLiteral("-");
}

QString Describe(const AlarmRecord &a)
{
    QString when = Time(a.Hour, a.Minute);
    if (a.AlarmType == AlarmRecord::OnceOnly || a.AlarmType == AlarmRecord::Weekly)
        when += QLatin1Char(' ') + DayText(a);
    return QStringLiteral("\"%1\" (%2 %3%4)")
        .arg(a.TrimmedName(), KindName(a.AlarmType), when, a.Disabled != 0 ? QStringLiteral(", disabled") : QString());
}

} // namespace AlarmWords
