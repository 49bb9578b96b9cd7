#include "engine/AlarmWords.h"

#include <QLocale>
#include <QMap>
#include <QStringList>
#include <algorithm>

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

namespace {

const char *const DayCodes[] = {"MO", "TU", "WE", "TH", "FR", "SA", "SU"};
const char *const Ordinals[] = {"first", "second", "third", "fourth", "fifth"};

QString dayList(const QString &byDay, bool full)
{
    QList<int> picked;
    for (const QString &code : byDay.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int d = DayOfCode(code.right(2));
        if (d >= 0 && !picked.contains(d))
            picked.append(d);
    }
    std::sort(picked.begin(), picked.end()); // in the week's order, as a calendar may not write them
    QStringList days;
    for (const int d : std::as_const(picked))
        days.append(full ? WeekDayName(d) : WeekDayName(d).left(3));
    if (!full || days.size() < 2)
        return days.join(QStringLiteral(", "));
    const QString last = days.takeLast();
    return days.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

QString dayAndMonth(const QDate &date)
{
    return QStringLiteral("%1 %2").arg(date.day()).arg(QLocale::c().monthName(date.month()));
}

} // namespace

QString DayCode(int weekDay)
{
    return weekDay >= 0 && weekDay <= 6 ? QString::fromLatin1(DayCodes[weekDay]) : QString();
}

int DayOfCode(const QString &code)
{
    for (int d = 0; d < 7; ++d)
        if (code == QLatin1String(DayCodes[d]))
            return d;
    return -1;
}

QMap<QString, QString> RuleParts(const QString &recur)
{
    QMap<QString, QString> parts;
    for (const QString &part : recur.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        parts.insert(part.section(QLatin1Char('='), 0, 0).trimmed().toUpper(),
                     part.section(QLatin1Char('='), 1).trimmed().toUpper());
    return parts;
}

QString ZoneCity(const QString &zone)
{
    return zone.section(QLatin1Char('/'), -1).replace(QLatin1Char('_'), QLatin1Char(' '));
}

QString RuleTime(const AlarmRule &rule)
{
    const QString time = Time(rule.start.time().hour(), rule.start.time().minute());
    return rule.zone.isEmpty() ? time : QStringLiteral("%1 %2 time").arg(time, ZoneCity(rule.zone));
}

QString RuleText(const AlarmRule &rule)
{
    const QMap<QString, QString> parts = RuleParts(rule.recur);
    const QString freq = parts.value(QStringLiteral("FREQ"));
    const int interval = qMax(1, parts.value(QStringLiteral("INTERVAL"), QStringLiteral("1")).toInt());
    const QString byDay = parts.value(QStringLiteral("BYDAY"));
    QString text;
    if (rule.recur.isEmpty()) {
        text = rule.start.date().toString(QStringLiteral("yyyy-MM-dd"));
    } else if ((freq == QLatin1String("WEEKLY") || freq == QLatin1String("DAILY")) && !byDay.isEmpty() &&
               interval == 1) {
        text = dayList(byDay, false);
    } else if (freq == QLatin1String("WEEKLY")) {
        const QString days = byDay.isEmpty() ? WeekDayName(rule.start.date().dayOfWeek() - 1) : dayList(byDay, true);
        text = interval == 1 ? QStringLiteral("weekly on %1").arg(days)
                             : QStringLiteral("every %1 weeks on %2").arg(interval).arg(days);
    } else if (freq == QLatin1String("DAILY")) {
        text = interval == 1 ? QStringLiteral("daily") : QStringLiteral("every %1 days").arg(interval);
    } else if (freq == QLatin1String("MONTHLY")) {
        QString on;
        const QString monthDay = parts.value(QStringLiteral("BYMONTHDAY"));
        if (!byDay.isEmpty() && !byDay.contains(QLatin1Char(','))) {
            const int nth = byDay.left(byDay.size() - 2).toInt();
            const int d = DayOfCode(byDay.right(2));
            const QString which = nth == -1              ? QStringLiteral("last")
                                  : nth >= 1 && nth <= 5 ? QString::fromLatin1(Ordinals[nth - 1])
                                                         : QString();
            on = which.isEmpty() || d < 0 ? dayList(byDay, true)
                                          : QStringLiteral("the %1 %2").arg(which, WeekDayName(d));
        } else {
            on = QStringLiteral("day %1").arg(monthDay.isEmpty() ? QString::number(rule.start.date().day()) : monthDay);
        }
        text = interval == 1 ? QStringLiteral("monthly on %1").arg(on)
                             : QStringLiteral("every %1 months on %2").arg(interval).arg(on);
    } else if (freq == QLatin1String("YEARLY")) {
        text = interval == 1 ? QStringLiteral("yearly on %1").arg(dayAndMonth(rule.start.date()))
                             : QStringLiteral("every %1 years on %2").arg(interval).arg(dayAndMonth(rule.start.date()));
    } else {
        text = rule.recur;
    }
    if (const QString count = parts.value(QStringLiteral("COUNT")); !count.isEmpty())
        text += QStringLiteral(", %1 times").arg(count);
    if (const QString until = parts.value(QStringLiteral("UNTIL")); until.size() >= 8)
        text += QStringLiteral(", until %1-%2-%3").arg(until.left(4), until.mid(4, 2), until.mid(6, 2));
    if (!rule.skipped.isEmpty()) {
        QStringList skips;
        for (const QDateTime &skip : rule.skipped)
            skips.append(dayAndMonth(skip.date()));
        text += QStringLiteral(", skips ") + skips.join(QStringLiteral(", "));
    }
    return text;
}

int KindOfRule(const QString &recur, int *weekDay)
{
    const QMap<QString, QString> parts = RuleParts(recur);
    for (const QString &key : parts.keys())
        if (key != QLatin1String("FREQ") && key != QLatin1String("BYDAY") && key != QLatin1String("WKST") &&
            !(key == QLatin1String("INTERVAL") && parts.value(key) == QLatin1String("1")))
            return -1;
    const QString freq = parts.value(QStringLiteral("FREQ"));
    QList<int> days;
    for (const QString &code : parts.value(QStringLiteral("BYDAY")).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int d = DayOfCode(code);
        if (d < 0)
            return -1;
        if (!days.contains(d))
            days.append(d);
    }
    std::sort(days.begin(), days.end());
    if (freq != QLatin1String("DAILY") && freq != QLatin1String("WEEKLY"))
        return -1;
    if ((freq == QLatin1String("DAILY") && days.isEmpty()) || days.size() == 7)
        return AlarmRecord::Daily;
    if (days == QList<int>{0, 1, 2, 3, 4})
        return AlarmRecord::EveryWeekday;
    if (freq == QLatin1String("WEEKLY") && days.size() == 1) {
        if (weekDay)
            *weekDay = days.first();
        return AlarmRecord::Weekly;
    }
    return -1;
}

} // namespace AlarmWords
